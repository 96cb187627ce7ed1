/* A program that crashes: it prints a line, then reads address 0 (taken from its argument count, so that the
   compiler keeps the read as it is). Run by harness_test.sh, whose runner must report the crash as a
   failure. */
#include <stdint.h>
#include <stdio.h>

int main(int argc, char** argv) {
    (void)argv;
    printf("crash probe: reading address 0\n");
    fflush(stdout);
    volatile const int* nowhere = (volatile const int*)(uintptr_t)(argc - 1);
    return *nowhere;
}
