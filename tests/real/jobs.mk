# Three targets made at once, one of them by a make of its own that takes
# its job slots from the parent's jobserver.
all: one two three
	@echo all made

one two:
	@echo made $@

three:
	+@$(MAKE) -f $(firstword $(MAKEFILE_LIST)) four five

four five:
	@echo made $@
