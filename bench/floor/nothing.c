/*
 * The least a program can do: start and end. What trace's own start
 * (trace --help) is measured against.
 */
int
main(void)
{
	return 0;
}
