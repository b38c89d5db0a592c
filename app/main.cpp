// Placeholder until the foundation lands.
int main() { return 1; }
