#pragma once

#include <cstdint>

// What the catalogue step of a run obtained; kept by the context for its
// life and reset at the end of every run.
struct CServerSelectionState {
  // A new catalogue was taken.
  uint8_t newCatalogue = 0;
  // The stored catalogue was kept (the server answered "not modified").
  uint8_t keptCatalogue = 0;

  void Reset() {
    newCatalogue = 0;
    keptCatalogue = 0;
  }
  bool Obtained() const { return newCatalogue != 0 || keptCatalogue != 0; }
};
