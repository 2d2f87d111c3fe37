# What proclab help DEMO prints: each demo's section of proclab-demos(7),
# made from the page's scdoc source as plain text that fits 80 columns,
# one file per demo in the folder out. Every demo named must have its
# section, or nothing is made.
#
#   awk -v out=FOLDER -v demos='twinspeak tworoles ...' -f demo_help.awk \
#       proclab-demos.7.scd
#
# Bold is dropped; what the page underlines (what changes from run to run)
# is written <PID>; a line the program writes is indented by 2, its gloss
# by 6, the other paragraphs not at all.

BEGIN {
	width = 79
	n = split(demos, list, " ")
	for (i = 1; i <= n; i++)
		wanted[list[i]] = 1
	file = ""
}

# Where the bold span that starts after s's character at is ends; 0 if
# nowhere.
function bold_end(s, at,    i, c) {
	for (i = at + 1; i <= length(s); i++) {
		c = substr(s, i, 1)
		if (c == "\\")
			i++
		else if (c == "*")
			return i
	}
	return 0
}

# With quote, a bold span of more than a word (a command line) is quoted
# and kept on one line: its blanks are \001 until fill() is done.
function plain(s, quote,    r, c, i, under, end, span, mark) {
	r = ""
	under = 0
	end = 0
	mark = ""
	for (i = 1; i <= length(s); i++) {
		c = substr(s, i, 1)
		if (c == "\\") {
			i++
			r = r substr(s, i, 1)
		} else if (c == "_") {
			r = r (under ? ">" : "<")
			under = !under
		} else if (c == "*" && i == end) {
			r = r mark
			mark = ""
			end = 0
		} else if (c == "*") {
			end = bold_end(s, i)
			span = substr(s, i + 1, end - i - 1)
			if (quote && index(span, " "))
				mark = index(span, "\"") ? "'" : "\""
			r = r mark
		} else
			r = r (mark != "" && c == " " ? "\001" : c)
	}
	return r
}

# Lengths are in bytes: a line with an accent ends a column early.
function fill(text, indent,    words, count, i, line) {
	count = split(text, words, " ")
	line = ""
	for (i = 1; i <= count; i++) {
		if (line != "" && length(indent line " " words[i]) > width) {
			put(indent line)
			line = ""
		}
		line = line == "" ? words[i] : line " " words[i]
	}
	if (line != "")
		put(indent line)
}

function put(line) {
	gsub(/\001/, " ", line)
	print line > file
}

# Writes the paragraph gathered so far, after a blank line.
function flush() {
	if (file != "" && (term != "" || para != "")) {
		print "" > file
		if (term != "") {
			fill(plain(term, 0), "  ")
			fill(plain(para, 1), "      ")
		} else
			fill(plain(para, 1), "")
	}
	term = ""
	para = ""
}

function end_section() {
	flush()
	if (file != "")
		close(file)
	file = ""
}

/^## / {
	end_section()
	if ($2 in wanted) {
		file = out "/" $2
		made[$2] = 1
		print $2 " (from proclab-demos(7))" > file
	}
	next
}

/^# / {
	end_section()
	next
}

/^$/ {
	flush()
	next
}

# A gloss: the lines before it were the line the program writes.
/^\t/ {
	if (term == "") {
		term = para
		para = ""
	}
	sub(/^\t/, "")
}

{
	para = para == "" ? $0 : para " " $0
}

END {
	end_section()
	for (name in wanted)
		if (!(name in made)) {
			print "demo_help.awk: no section for " name > "/dev/stderr"
			status = 1
		}
	exit status
}
