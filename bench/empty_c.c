/* The least a process can do: the reference for the start-up benchmark. */
int main(void) { return 0; }
