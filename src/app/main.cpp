// Brizel.
#include "app/app_startup.h"

int main(int argc, char **argv) { return BZ_Main(argc, argv); }
