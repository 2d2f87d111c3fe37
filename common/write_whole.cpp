#include <cerrno>

#include <unistd.h>

#include "write_whole.h"

bool
write_whole(int fd, const char *buf, std::size_t len)
{
	while (len > 0) {
		ssize_t n = write(fd, buf, len);
		if (n < 0 && errno == EINTR)
			continue;
		if (n < 0)
			return false;
		buf += n;
		len -= static_cast<std::size_t>(n);
	}
	return true;
}
