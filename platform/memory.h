#pragma once

// Tunes the C library's allocator for an editor that holds documents of many
// MB. Call once at start, before anything large is allocated.
void tuneAllocatorForLargeDocuments();
