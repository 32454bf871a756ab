#include "startup.h"

int main(int /*argc*/, char* argv[])
{
    return runMarrowlark(argv[0]);
}
