// Words the tools that watch the demos all say alike.
#ifndef WORDS_H
#define WORDS_H

#include <cstdint>
#include <string>

// "1 run", "2 runs": n and the word for one or for many.
std::string counted(std::uint64_t n, const std::string &one,
    const std::string &many);

#endif
