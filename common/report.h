// Report lines: each line is formed in the caller's own fixed buffer and
// handed to the descriptor with a single write(2), so lines of processes
// sharing a descriptor interleave whole and nothing is left in a stream
// buffer for a later fork to copy.
#ifndef REPORT_H
#define REPORT_H

#include <concepts>
#include <cstddef>
#include <initializer_list>
#include <type_traits>

// What an argument of report() can stand for.
enum class ReportArg { integer, text, pointer, other };

// A value reaches a C variadic as an int, as "%d" and "%c" read it, only
// when the usual promotions make it one: unsigned, long and the like
// would be read wrong, and are refused.
template <typename T>
concept ReportInteger = (std::is_integral_v<T> || std::is_enum_v<T>) &&
    requires(T v) {
	{ +v } -> std::same_as<int>;
};

template <typename T>
consteval ReportArg
report_arg()
{
	if constexpr (std::is_same_v<T, const char *> ||
	    std::is_same_v<T, char *>)
		return ReportArg::text;
	else if constexpr (std::is_pointer_v<T> &&
	    std::is_convertible_v<T, const void *>)
		return ReportArg::pointer;
	else if constexpr (ReportInteger<T>)
		return ReportArg::integer;
	else
		return ReportArg::other;
}

// Never defined: a format that calls one is no constant expression, and
// the compiler names the function in its error.
void report_knows_only_d_c_s_p_and_percent();
void report_argument_does_not_suit_its_conversion();
void report_has_fewer_arguments_than_conversions();
void report_has_more_arguments_than_conversions();

consteval bool
report_suits(char conversion, ReportArg arg)
{
	switch (conversion) {
	case 'd':
	case 'c':
		return arg == ReportArg::integer;
	case 's':
		return arg == ReportArg::text;
	case 'p':
		return arg == ReportArg::text || arg == ReportArg::pointer;
	default:
		return false;
	}
}

consteval void
report_check(const char *f, std::initializer_list<ReportArg> args)
{
	const ReportArg *a = args.begin();

	for (; *f != '\0'; f++) {
		if (*f != '%')
			continue;
		char conversion = *++f;
		if (conversion == '%')
			continue;
		if (conversion != 'd' && conversion != 'c' &&
		    conversion != 's' && conversion != 'p')
			report_knows_only_d_c_s_p_and_percent();
		if (a == args.end())
			report_has_fewer_arguments_than_conversions();
		if (!report_suits(conversion, *a++))
			report_argument_does_not_suit_its_conversion();
	}
	if (a != args.end())
		report_has_more_arguments_than_conversions();
}

// A format that report() can print with arguments of types Args, or a
// compile error.
template <typename... Args>
class ReportFormat {
public:
	// cppcheck-suppress noExplicitConstructor ; built from a call's literal
	consteval ReportFormat(const char *f) : text(f)
	{
		report_check(f, {report_arg<Args>()...});
	}

	const char *text;
};

// Every pointer is passed on as const void *: "%p" reads it so, and "%s"
// may read it as const char *, which C allows a variadic.
template <typename T>
constexpr auto
report_passed(T v)
{
	if constexpr (std::is_pointer_v<T>)
		return static_cast<const void *>(v);
	else
		return v;
}

// Formats into buf, never past size bytes, then writes strlen(buf) bytes.
// It understands "%d" (an int), "%c", "%s", "%p" and "%%", with no flags
// or widths, and is safe to call in a signal handler. With size 0 it
// writes nothing. Nothing checks its arguments: report() below is the
// way in.
void report_args(int fd, char *buf, std::size_t size, const char *fmt, ...);

// report_args() for a format checked as it is compiled: only the
// conversions above, each with an argument it prints right ("%d" and
// "%c" an int or a narrower integer, "%s" a char pointer, "%p" any
// object pointer), and no argument left over. A null "%s" is "(null)".
template <typename... Args>
void
report(int fd, char *buf, std::size_t size,
    ReportFormat<std::type_identity_t<Args>...> fmt, Args... args)
{
	report_args(fd, buf, size, fmt.text, report_passed(args)...);
}

// Copies a fixed text into buf, never past size bytes, then writes it.
void report_text(int fd, char *buf, std::size_t size, const char *text);

#endif
