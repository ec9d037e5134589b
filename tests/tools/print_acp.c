/* Prints the ANSI code page that a process of this run gets, for the logs of the script tests:
   a Japanese run must be under 932, the default one under 1252. */
#include <windows.h>
#include <stdio.h>

int main(void) {
  printf("%u\n", GetACP());
  return 0;
}
