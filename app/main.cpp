// Program entry of Tarnwick.
#include "ui/App.h"

int main(int argc, char** argv)
{
	return TarnwickMain(argc, argv);
}
