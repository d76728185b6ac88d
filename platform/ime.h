// The input method of the main window, as the library's IME code sees it:
// the composition being typed (Shift-JIS), its cursor and clauses, the result
// of the last finished composition, the candidate list and the open status.
//
// The window's pump reports changes as WM_IME_* messages; the text they refer
// to is read here while the message is handled, as it is on the system the
// library was made for.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// What the implementation keeps up to date for the reads below.
struct ImeText {
  std::string composition;  // Shift-JIS
  int cursorBytes = 0;      // the cursor's byte offset in composition
  std::vector<uint32_t> clauses;  // clause start offsets, then the composition's length
  std::string result;       // the last finished composition
};

class PlatformIme {
 public:
  virtual ~PlatformIme() = default;

  // Switches the input method on or off for the main window.
  virtual void Enable(bool on) = 0;
  // Takes the main window's input context: its number, 0 when there is none.
  // Each context taken is given back with ReleaseContext.
  virtual uint32_t AcquireContext() = 0;
  virtual void ReleaseContext() = 0;
  // The candidate list record; with a null buffer, its size (0: no list).
  // With a buffer of that size, the bytes copied (0: it could not be read).
  virtual int GetCandidateList(void* buffer, int size) = 0;
  virtual void CancelComposition() = 0;
  virtual void SetOpenStatus(bool open) = 0;
  virtual bool GetOpenStatus() = 0;
  // Replaces the composition being typed with the text.
  virtual void SetCompositionString(std::string_view cp932) = 0;

  // Reads one part of the text: GCS_COMPSTR, GCS_RESULTSTR and GCS_COMPCLAUSE
  // copy at most size bytes (whole characters, whole offsets) and return the
  // bytes copied, or with a null buffer the bytes there are; GCS_CURSORPOS
  // returns the cursor's byte offset. -1 for anything else.
  int GetCompositionString(uint32_t part, void* buffer, int size) const;

  ImeText text;
};

// The input method the library uses: the SDL window's unless a test installed another.
PlatformIme* GetPlatformIme();
void SetPlatformIme(PlatformIme* ime);  // null restores the SDL one

// An input method that tests fill and watch.
class ScriptedIme : public PlatformIme {
 public:
  void Enable(bool on) override;
  uint32_t AcquireContext() override;
  void ReleaseContext() override;
  int GetCandidateList(void* buffer, int size) override;
  void CancelComposition() override;
  void SetOpenStatus(bool open) override;
  bool GetOpenStatus() override { return open; }
  void SetCompositionString(std::string_view cp932) override;

  // What the test sets up.
  bool hasContext = true;
  std::vector<uint8_t> candidateList;  // empty: no list
  bool failCandidateRead = false;
  bool open = false;

  // What the library did.
  int enableCalls = 0;
  bool enabled = false;
  int contextsHeld = 0;  // taken and not given back
  int contextsTaken = 0;
  int cancelCount = 0;
  std::vector<bool> openStatusSets;
  std::vector<std::string> compositionsSet;
};
