// The program's entry point: start-up, main loop and shutdown live in src/.
int main() { return 0; }
