#include "server/ScanServerMain.h"

int main(int argc, char** argv) { return ScanServerMain(argc, argv); }
