# What scdoc writes, made right for every man viewer.
#
# .TH turns hyphenation back on after scdoc's .nh, and would break demo
# and option names (busy-child, sigsus-pend) at the end of a line.
/^\.TH /a\
.nh
# scdoc writes every "-" as it is, which groff renders as a hyphen (U+2010)
# everywhere but on Debian: an option copied from the page into a shell
# would not work. Make each dash of the text a minus sign, leaving alone
# the requests and the horizontal motions scdoc puts before list bullets.
/^\./b
/^\\h'/b
s/-/\\-/g
