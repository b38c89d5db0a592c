// The process entry point; the run itself is RunMain (app/run.h).
#include "app/run.h"

int main(int argc, char** argv) { return quillex::RunMain(argc, argv); }
