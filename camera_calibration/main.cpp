#include "camera_calibration/Ostrel.h"
#include "messages/Messages.h"

int main(int argc, char** argv)
{
    Orvana::installMessageHandler();
    return Orvana::runOstrel(argc, argv);
}
