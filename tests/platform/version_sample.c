/* version_sample.c - the program that carries the version resource of
   version_sample.rc: it only has to be a real Windows executable. */
int main(void) { return 0; }
