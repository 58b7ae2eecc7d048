// vmodem.
int main() { return 0; }
