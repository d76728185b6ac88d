// Doubly linked list with head and tail sentinels, nodes embedded in records.
#pragma once

struct ListNode {
  int handle;
  void* record;
  ListNode* prev;
  ListNode* next;
};

struct List {
  ListNode head;
  ListNode tail;
};

void ListInit(List* list);
// Links the node right after the head.
void ListInsert(List* list, ListNode* node, int handle, void* record);
void ListUnlink(ListNode* node);
// A walk starts at ListFirst and stops at the node whose next is null.
inline ListNode* ListFirst(List* list) { return list->head.next; }
inline bool ListAtEnd(const ListNode* node) { return node->next == nullptr; }
