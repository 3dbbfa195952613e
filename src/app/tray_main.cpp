#include "app/application.h"

int main(int argc, char** argv)
{
    return hb::app::runApplication(argc, argv);
}
