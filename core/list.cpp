#include "core/list.h"

void ListInit(List* list) {
  list->head = {-1, nullptr, nullptr, &list->tail};
  list->tail = {-1, nullptr, &list->head, nullptr};
}

void ListInsert(List* list, ListNode* node, int handle, void* record) {
  node->handle = handle;
  node->record = record;
  node->prev = &list->head;
  node->next = list->head.next;
  list->head.next->prev = node;
  list->head.next = node;
}

void ListUnlink(ListNode* node) {
  if (!node->prev || !node->next) return;
  node->prev->next = node->next;
  node->next->prev = node->prev;
  node->prev = nullptr;
  node->next = nullptr;
}
