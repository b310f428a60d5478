// WAV output through libsndfile: IEEE float, 32 bits, one channel per output pin, holding exactly
// the samples the modules wrote (no peak chunk, no scaling, no dither).
#ifndef TRHOST_WAV_FILE_H
#define TRHOST_WAV_FILE_H

#include <string>
#include <vector>

#include "rack.h"

namespace trhost {

// Throws CommandError (output stage) naming `path`.
void WriteWav(const std::string& path, const Rendering& rendering);

// Reads a float WAV back, one vector per channel; empty when the file cannot be read. For tests.
std::vector<std::vector<float>> ReadWav(const std::string& path, int* rate = nullptr);

}  // namespace trhost

#endif  // TRHOST_WAV_FILE_H
