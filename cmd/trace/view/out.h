// trace's report as it is written: held, and written in large pieces
// (out.cpp).
#ifndef OUT_H
#define OUT_H

#include <string>
#include <string_view>

// The report, held and written in large pieces to descriptor fd: at
// most every due_ms, or sooner once a piece is full.
class Out {
public:
	static constexpr int due_ms = 50;

	explicit Out(int fd = 1) : fd_(fd) {}
	void add(std::string_view s);
	// Writes what is held; false once a write has failed.
	bool flush();
	// Something is held, and has been for due_ms.
	[[nodiscard]] bool due() const;
	// Milliseconds until what is held is due; -1 with nothing held.
	[[nodiscard]] int due_in_ms() const;
	[[nodiscard]] bool failed() const { return error_ != 0; }
	[[nodiscard]] int error() const { return error_; }

private:
	int fd_;
	std::string held_;
	long long since_ms_ = 0;
	int error_ = 0;
};

#endif
