#include "app/application.h"

int main(int argc, char** argv) { return velnox::runApplication(argc, argv); }
