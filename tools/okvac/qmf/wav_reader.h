// Reads a WAV file (integer PCM of 8 to 32 bits or 32-bit float) into interleaved floats in
// [-1, 1). Fails with a message on anything else.
#pragma once
#include <string>
#include <vector>

struct WavData {
    int channels = 0, rate = 0;
    std::vector<float> samples;  // frames of `channels` interleaved samples
};

bool readWav(const char* path, WavData* out, std::string* error);
