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

// Hands the memory freed so far back to the system. The allocator keeps
// freed memory for reuse; call this once a large document has gone.
void returnFreedMemory();
