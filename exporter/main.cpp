#include "exporter/Exporter.h"
#include "messages/Messages.h"

int main(int argc, char** argv)
{
    Orvana::installMessageHandler();
    return Orvana::runQuintar(argc, argv);
}
