#include "main.h"

#include "messages.h"
#include "wav_info.h"
#include "wav_read.h"
#include "wav_write.h"

void usage()
{
    msgErr(MSG_USAGE);
}

int main(int argc, char** argv)
{
    if (argc != 3) {
        usage();
        return -1;
    }
    WavInfo info{};
    if (wavRead(argv[1], info) != 0) {
        return -1;
    }
    if (wavWrite(argv[2], info, argv[1]) != 0) {
        return -1;
    }
    msgOut(MSG_CONVERTED, argv[1], argv[2]);
    return 0;
}
