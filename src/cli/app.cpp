namespace torvwy::cli { int Main(int, char**) { return 0; } }
