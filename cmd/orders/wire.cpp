// orders: a judged run as it crosses the pipe from the helper that made
// it: numbers in decimal and strings with their length, each followed by a
// space.
#include <algorithm>
#include <charconv>

#include "orders.h"

namespace {

void
put(std::string &out, long n)
{
	out += std::to_string(n);
	out += ' ';
}

void
put(std::string &out, std::string_view s)
{
	put(out, static_cast<long>(s.size()));
	out += s;
	out += ' ';
}

void
put(std::string &out, const std::vector<std::string> &v)
{
	put(out, static_cast<long>(v.size()));
	for (const auto &s : v)
		put(out, s);
}

class Decoder {
public:
	explicit Decoder(std::string_view text) : text_(text) {}

	bool get(long &n)
	{
		const char *last = text_.data() + text_.size();
		auto [end, ec] = std::from_chars(text_.data(), last, n);
		if (ec != std::errc() || end == last || *end != ' ')
			return false;
		text_.remove_prefix(static_cast<std::size_t>(end -
		    text_.data()) + 1);
		return true;
	}

	bool get(bool &b)
	{
		long n;
		if (!get(n) || (n != 0 && n != 1))
			return false;
		b = n == 1;
		return true;
	}

	bool get(std::string &s)
	{
		long n;
		if (!get(n) || n < 0 || static_cast<std::size_t>(n) >=
		    text_.size() || text_[static_cast<std::size_t>(n)] != ' ')
			return false;
		s = text_.substr(0, static_cast<std::size_t>(n));
		text_.remove_prefix(static_cast<std::size_t>(n) + 1);
		return true;
	}

	bool get(std::vector<std::string> &v)
	{
		long n;
		if (!get(n) || n < 0 || static_cast<std::size_t>(n) >
		    text_.size())
			return false;
		v.resize(static_cast<std::size_t>(n));
		return std::all_of(v.begin(), v.end(),
		    [this](std::string &s) { return get(s); });
	}

	[[nodiscard]] bool done() const { return text_.empty(); }

private:
	std::string_view text_;
};

} // namespace

std::string
encode(const Judged &j)
{
	std::string out;

	put(out, j.allowed);
	put(out, j.switches);
	put(out, j.trailer);
	put(out, j.ending);
	put(out, j.why);
	put(out, j.shown);
	put(out, j.masked);
	return out;
}

bool
decode(std::string_view text, Judged &j)
{
	Decoder d(text);

	return d.get(j.allowed) && d.get(j.switches) && d.get(j.trailer) &&
	    d.get(j.ending) && d.get(j.why) && d.get(j.shown) &&
	    d.get(j.masked) && d.done();
}
