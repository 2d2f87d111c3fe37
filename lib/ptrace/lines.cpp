// The run's output as lines: the bytes each process writes on a
// descriptor of the run's output, kept until a line ends and told as one
// line event, a line too long kept in part with its size. See tracer.h.
#include <algorithm>
#include <string>
#include <string_view>

#include "internal/tracer_proc.h"
#include "tracer.h"

namespace {

constexpr std::size_t longest_line = 1 << 20;

} // namespace

// bytes, the first of the written that p wrote on fd, as lines. What
// was written past them ends the line it falls in, which tells how much
// it lost.
void
Tracer::line_bytes(Proc &p, int fd, const std::string &bytes,
    std::uint64_t written)
{
	Proc &of = p.leader ? proc(p.leader) : p;
	std::string_view rest = bytes;

	for (std::size_t nl; (nl = rest.find('\n')) != std::string::npos;
	    rest.remove_prefix(nl + 1)) {
		keep(of, fd, rest.substr(0, nl + 1));
		emit_line(p, fd, of.partial[fd]);
	}
	keep(of, fd, rest);
	if (written > bytes.size()) {
		Partial &part = of.partial[fd];
		part.size += written - bytes.size();
		emit_line(p, fd, part);
	}
}

// More of p's line on fd: of a line longer than trace keeps, the first
// bytes are kept and the rest counted. What is kept of a process's lines
// stays within longest_line, over all its descriptors: lines not ended
// on others are told as they stand, to make room.
void
Tracer::keep(Proc &p, int fd, std::string_view s)
{
	Partial &part = p.partial[fd];
	std::size_t add = std::min(s.size(), longest_line - part.kept.size());
	std::size_t held = 0;

	for (const auto &[to, other] : p.partial)
		held += other.kept.size();
	if (held + add > longest_line)
		for (auto &[to, other] : p.partial)
			if (to != fd && other.size)
				emit_line(p, to, other);
	part.kept += s.substr(0, add);
	part.size += s.size();
}

void
Tracer::flush(Proc &p)
{
	for (auto &[to, part] : p.partial)
		if (part.size)
			emit_line(p, to, part);
}

// Hands part on as a line of p's on fd (p a thread whose process keeps
// part), and empties it: its size only if more than was kept of it.
void
Tracer::emit_line(const Proc &p, int fd, Partial &part)
{
	std::uint64_t size = part.size > part.kept.size() ? part.size : 0;
	Event::Line line{fd, std::move(part.kept), size};

	part = {};
	emit(std::move(line), p);
}
