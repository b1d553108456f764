#pragma once

// Tunes the C library's allocator for an editor that holds documents of many
// MB. Call once at start, before anything large is allocated.
void tuneAllocatorForLargeDocuments();

// The process's resident memory in KiB, or -1 where the system does not tell.
long residentMemoryKb();
