// Words the tools that watch the demos all say alike: see words.h.
#include "words.h"

std::string
counted(std::uint64_t n, const std::string &one, const std::string &many)
{
	return std::to_string(n) + " " + (n == 1 ? one : many);
}
