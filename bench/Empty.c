/* The floor for MarvaneSetupRunTimer: a static C program that does nothing,
   started the same way as the program it is compared with. */
int main(void) {
  return 0;
}
