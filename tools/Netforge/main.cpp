// Placeholder entry point until the parameter file reader lands.
int main() { return 0; }
