#pragma once

#include <QtGlobal>

// Tunes the C library's allocator for an editor that holds documents of many
// MB. Call once at start, before anything large is allocated.
void tuneAllocatorForLargeDocuments();

// The process's resident memory in KiB, or -1 where the system does not tell.
long residentMemoryKb();
// The most resident memory the process has had so far, in KiB, or -1.
long peakResidentMemoryKb();

// The memory the system could give the process now without swapping, in
// bytes, or -1 where the system does not tell.
qint64 availableMemoryBytes();

// Hands the memory freed so far back to the system now.
void returnFreedMemory();

// How long the program must have been without a large document going
// before the memory kept for reuse goes back to the system.
constexpr int idleTrimDelayMs = 10000;

// A large document has gone: its memory goes back to the system once
// idleTrimDelayMs have passed without another going, unless a load takes
// it first. Needs a running QCoreApplication.
void returnFreedMemoryWhenIdle();
// A load begins and will reuse the memory kept: no trim is due.
void keepFreedMemory();
// True while a trim is waiting for the program to be idle.
bool isIdleTrimPending();
