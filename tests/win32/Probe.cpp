// Windows side, tests only: the smallest 32-bit program. Its exit code 32 shows that it really
// ran as a 32-bit program: Wine without a working 32-bit half has been seen to end such a
// program with exit code 0 without running it.
int main() {
    return sizeof(void*) == 4 ? 32 : 1;
}
