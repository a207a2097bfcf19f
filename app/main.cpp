// Program entry of Tarnwick.
#include "frame/App.h"

int main(int argc, char** argv)
{
	return TarnwickMain(argc, argv);
}
