#include "tool/run.hpp"

int main(int argc, char** argv)
{
    return run_validation(argc, argv);
}
