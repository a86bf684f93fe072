// The catalog module's state record, shared with the shell that opens the
// program's catalog and builds the story table.
#pragma once

#include <atomic>

#include "catalog.h"

struct CatalogModuleState {
  // The catalog over CatalogStrings: opened by SetupSystem and closed by
  // ShutdownSystem (the game thread's start, or the window thread at
  // start-up and shut-down, never both at once).
  Catalog* program = nullptr;
  // The story-event table Main builds at start and frees at its end: written
  // by the game thread, read by any thread (atomic).
  std::atomic<CatalogEntry**> storyTable{nullptr};
};
CatalogModuleState& CatalogModule();

// SetupSystem: (re)opens the program's catalog "QoEBrowser.catalog" over
// CatalogStrings (the English texts stay when there is none).
void OpenProgramCatalog();
// Puts the English texts back and frees the program's catalog.
void CloseProgramCatalog();
