// Int handles of library objects: kind in bits 27-30, an 11-bit check number
// in bits 16-26 that must match the slot's current one (so a stale handle
// fails), and the slot in bits 0-15. Negative values are never valid handles.
#pragma once
#include <cstdint>

enum HandleType : int {
  HandleTypeGraph = 1,
  HandleTypeSound = 2,
  HandleTypeMovie = 3,
  HandleTypeFont = 4,
  HandleTypeMask = 8,
  HandleTypeNetWork = 9,
  HandleTypeStringInput = 10,
  HandleTypeMusic = 11,
  HandleTypeLight = 12,
  HandleTypeSoftImage = 14,
};

constexpr int kHandleCheckMask = 0x7FF;
constexpr int kHandleSlotMask = 0xFFFF;

constexpr int MakeHandleValue(int type, int check, int slot) {
  return ((type & 0xF) << 27) | ((check & kHandleCheckMask) << 16) | (slot & kHandleSlotMask);
}
constexpr int HandleKind(int handle) { return (handle >> 27) & 0xF; }
constexpr int HandleCheck(int handle) { return (handle >> 16) & kHandleCheckMask; }
constexpr int HandleSlot(int handle) { return handle & kHandleSlotMask; }

// A fixed table of records owned by one subsystem. Records are created and
// freed by the owner; the table only maps handles to them.
template <typename Record, int Capacity>
struct HandleTable {
  static_assert(Capacity <= 0x10000);
  int type = 0;
  int count = 0;
  int searchHint = 0;
  int highWater = 0;  // one past the highest occupied slot; 0 when empty
  // Check numbers run from firstCheck to 2047 and wrap back to firstCheck.
  uint16_t firstCheck = 1;
  uint16_t nextCheck = 1;
  Record* records[Capacity] = {};
  uint16_t checks[Capacity] = {};

  static constexpr int capacity() { return Capacity; }

  // Stores the record in a free slot under the given check number.
  int Store(int slot, Record* record, uint16_t check) {
    records[slot] = record;
    checks[slot] = check;
    count++;
    if (highWater < slot + 1) highWater = slot + 1;
    return MakeHandleValue(type, check, slot);
  }

  uint16_t TakeCheck() {
    uint16_t check = nextCheck;
    nextCheck = static_cast<uint16_t>((nextCheck + 1) & kHandleCheckMask);
    if (nextCheck == 0) nextCheck = firstCheck;
    return check;
  }

  // Stores the record in a free slot; returns its handle, or -1 when full.
  int Add(Record* record) {
    if (!record || count >= Capacity) return -1;
    for (int i = 0; i < Capacity; i++) {
      int slot = (searchHint + i) % Capacity;
      if (records[slot]) continue;
      searchHint = (slot + 1) % Capacity;
      return Store(slot, record, TakeCheck());
    }
    return -1;
  }

  // Stores the record in the slot at the high-water mark, or, once that has
  // reached the capacity, in the first free slot from 0; -1 when full.
  int AddAboveHighest(Record* record) {
    if (!record || count >= Capacity) return -1;
    int slot = highWater;
    if (slot >= Capacity) {
      slot = 0;
      while (records[slot]) slot++;
    }
    return Store(slot, record, TakeCheck());
  }

  // Stores the record again under a handle of this table whose slot is free,
  // keeping the handle's check number; -1 when the slot is taken.
  int Restore(int handle, Record* record) {
    if (!record || handle < 0 || HandleKind(handle) != type) return -1;
    int slot = HandleSlot(handle);
    if (slot >= Capacity || records[slot]) return -1;
    return Store(slot, record, static_cast<uint16_t>(HandleCheck(handle)));
  }

  // Stores the record in a given slot (e.g. a reserved last slot); -1 when taken.
  int AddAt(int slot, Record* record) {
    if (!record || slot < 0 || slot >= Capacity || records[slot]) return -1;
    return Store(slot, record, TakeCheck());
  }

  // The record of a valid handle (kind, slot range, presence, check number), else null.
  Record* Get(int handle) const {
    if (handle < 0 || HandleKind(handle) != type) return nullptr;
    int slot = HandleSlot(handle);
    if (slot >= Capacity || !records[slot]) return nullptr;
    if (checks[slot] != HandleCheck(handle)) return nullptr;
    return records[slot];
  }

  // Forgets the handle's record and returns it (for the owner to free), or null.
  Record* Remove(int handle) {
    Record* record = Get(handle);
    if (!record) return nullptr;
    int slot = HandleSlot(handle);
    records[slot] = nullptr;
    checks[slot] = 0;
    count--;
    if (slot + 1 == highWater) {
      while (highWater > 0 && !records[highWater - 1]) highWater--;
    }
    return record;
  }

  // Handle of the record in a slot, or -1 for an empty slot.
  int HandleAt(int slot) const {
    if (slot < 0 || slot >= Capacity || !records[slot]) return -1;
    return MakeHandleValue(type, checks[slot], slot);
  }
};
