// trace's output, held and written in large pieces, and how the
// programs' bytes are shown: see trace.h.
#include <cerrno>
#include <cstdint>
#include <cstdio>

#include <unistd.h>

#include "clock.h"
#include "out.h"
#include "shown.h"

namespace {

// Held past this, the output is written at once.
constexpr std::size_t piece = 1 << 16;

// The length of the well-formed UTF-8 sequence at s[i], and its code
// point in cp; 0 if there is none: a stray or missing continuation
// byte, an overlong form, a surrogate, past U+10FFFF.
std::size_t
sequence(std::string_view s, std::size_t i, char32_t &cp)
{
	auto b = static_cast<unsigned char>(s[i]);
	std::size_t n = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 :
	    (b >> 3) == 30 ? 4 : 0;
	static const char32_t least[] = {0, 0, 0x80, 0x800, 0x10000};

	if (n == 0 || i + n > s.size())
		return 0;
	cp = static_cast<char32_t>(n == 1 ? b : b & (0x7f >> n));
	for (std::size_t k = 1; k < n; k++) {
		auto c = static_cast<unsigned char>(s[i + k]);
		if ((c >> 6) != 2)
			return 0;
		cp = cp << 6 | static_cast<char32_t>(c & 0x3f);
	}
	if (cp < least[n] || cp > 0x10ffff || (cp >= 0xd800 && cp < 0xe000))
		return 0;
	return n;
}

void
hex(std::string &to, unsigned char b)
{
	static const char digits[] = "0123456789abcdef";

	to += "\\x";
	to += digits[b >> 4];
	to += digits[b & 15];
}

} // namespace

std::string
fixed(double value, int decimals)
{
	char buf[64];

	(void)std::snprintf(buf, sizeof buf, "%.*f", decimals, value);
	return buf;
}

std::string
in_unit(long long us, Unit unit, int decimals)
{
	if (unit == Unit::ms)
		return fixed(static_cast<double>(us) / 1e3, decimals) + " ms";
	return fixed(static_cast<double>(us) / 1e6, decimals) + " s";
}

std::string
duration(long long us)
{
	return us < 1000000 ? in_unit(us, Unit::ms, 2) :
	    in_unit(us, Unit::s, 3);
}

void
Out::add(std::string_view s)
{
	if (held_.empty())
		since_ms_ = mono_ms();
	held_ += s;
	if (held_.size() >= piece)
		flush();
}

bool
Out::flush()
{
	std::size_t done = 0;

	while (!error_ && done < held_.size()) {
		ssize_t n = write(fd_, held_.data() + done, held_.size() - done);
		if (n < 0 && errno == EINTR)
			continue;
		if (n <= 0)
			error_ = n < 0 ? errno : EIO;
		else
			done += static_cast<std::size_t>(n);
	}
	held_.clear();
	return !error_;
}

bool
Out::due() const
{
	return !held_.empty() && mono_ms() - since_ms_ >= due_ms;
}

int
Out::due_in_ms() const
{
	if (held_.empty())
		return -1;
	long long left = since_ms_ + due_ms - mono_ms();
	return left < 0 ? 0 : static_cast<int>(left);
}

bool
valid_utf8(std::string_view bytes)
{
	char32_t cp = 0;

	for (std::size_t i = 0, n; i < bytes.size(); i += n)
		if ((n = sequence(bytes, i, cp)) == 0)
			return false;
	return true;
}

std::string
escaped(std::string_view text)
{
	std::string shown;
	char32_t cp = 0;

	shown.reserve(text.size());
	for (std::size_t i = 0, n; i < text.size(); i += n) {
		n = sequence(text, i, cp);
		bool control = cp < 0x20 || (cp >= 0x7f && cp < 0xa0);
		if (n == 0 || (control && cp != '\t')) {
			n = n ? n : 1;
			for (std::size_t k = 0; k < n; k++)
				hex(shown, static_cast<unsigned char>(text[i + k]));
		} else if (cp == '\\') {
			shown += "\\\\";
		} else {
			shown.append(text, i, n);
		}
	}
	return shown;
}

std::string
escaped_line(std::string_view line)
{
	if (line.ends_with('\n'))
		return escaped(line.substr(0, line.size() - 1));
	return escaped(line) + "   (no newline)";
}

std::string
who(pid_t pid, const std::string &role)
{
	std::string id = role_id(role);
	return id.empty() ? "process " + std::to_string(pid) :
	    role == kernel_role ? role : id;
}

std::string
role_id(const std::string &role)
{
	return role == subreaper_role ? "trace" : role == kernel_role ?
	    "kernel" : role;
}

std::string
tag(const std::string &role, pid_t pid, std::size_t width)
{
	std::string t = role + " " + std::to_string(pid);

	if (t.size() < width)
		t.insert(role.size(), width - t.size(), ' ');
	return t;
}

std::size_t
characters(std::string_view s)
{
	std::size_t n = 0;

	for (char c : s)
		n += (static_cast<unsigned char>(c) & 0xc0) != 0x80;
	return n;
}

std::string
shortened(const std::string &s, std::size_t n)
{
	if (characters(s) <= n)
		return s;
	std::size_t kept = 0;
	std::size_t i = 0;
	for (; i < s.size(); i++)
		if ((static_cast<unsigned char>(s[i]) & 0xc0) != 0x80 &&
		    ++kept == n)
			break;
	return s.substr(0, i) + "\xe2\x80\xa6";
}

std::string
base_name(const std::string &path)
{
	std::size_t slash = path.find_last_of('/');
	return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string
address(std::uint64_t addr)
{
	char s[32];

	(void)std::snprintf(s, sizeof s, "0x%llx",
	    static_cast<unsigned long long>(addr));
	return s;
}
