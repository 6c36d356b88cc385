// Program vornv7 (skeleton; the driver arrives with the run control).
int main() { return 0; }
