#include "player/app/PlayerEntry.h"

int main(int argc, char** argv)
{
    return Orvana::runPlayer(argc, argv);
}
