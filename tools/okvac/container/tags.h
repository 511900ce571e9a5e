// Metadata tags found around and inside elementary audio streams: ID3v2 and APE blocks in
// front of or between frames, ID3v1 and APE blocks at the end.
#pragma once
#include <cstddef>
#include <cstdint>

// Bytes of an ID3v2 or APE tag starting at p (left bytes readable), 0 when none starts there.
size_t tagSizeAt(const uint8_t* p, size_t left);

// Length of data without the ID3v1 and APE tags at its end.
size_t lengthWithoutTrailingTags(const uint8_t* data, size_t len);
