// Quenby.
int main() { return 0; }
