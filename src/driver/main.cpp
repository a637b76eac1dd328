// Process entry point.
#include "driver/driver.h"

int main(int argc, char** argv) { return vexa::vexa_main(argc, argv, stdout, stderr); }
