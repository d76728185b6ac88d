// The game's one way of walking a list: every element updated once, in
// order, and the ones their update finished erased in the same pass.
#pragma once
#include <cstdint>
#include <iterator>
#include <list>

template <typename T, typename Update>
void UpdateAndPrune(std::list<T>& list, Update update, uint8_t T::*finished) {
  for (auto it = list.begin(); it != list.end();) {
    update(*it);
    it = (*it).*finished ? list.erase(it) : std::next(it);
  }
}
