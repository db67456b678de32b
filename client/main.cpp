#include "client/send.h"

int main(int argc, char **argv)
{
	return RunSend(argc, argv);
}
