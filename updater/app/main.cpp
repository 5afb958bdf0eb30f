// The updater's entry point.
int main() { return 0; }
