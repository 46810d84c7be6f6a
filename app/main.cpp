// vantrel: the window. Image files named on the command line are listed as the first drives.
#include "app/startup.h"

int main(int argc, char** argv)
{
    return run_program(argc, argv);
}
