#include "marker_generator/MarkerGenerator.h"
#include "messages/Messages.h"

int main(int argc, char** argv)
{
    Orvana::installMessageHandler();
    return Orvana::runTamsel(argc, argv);
}
