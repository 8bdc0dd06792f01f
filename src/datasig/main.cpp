#include "datasig/command.hpp"

int main(int argc, char** argv)
{
    return run_datasig(argc, argv);
}
