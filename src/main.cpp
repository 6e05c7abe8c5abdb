#include "main.h"

#include "messages.h"
#include "platform.h"
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
    processSetUp();
    WavInfo info{};
    if (wavRead(argv[1], info) != 0) {
        return -1;
    }
    if (wavWrite(argv[2], info) != 0) {
        return -1;
    }
    msgOut(MSG_CONVERTED, msgPathShown(argv[1]).c_str(), msgPathShown(argv[2]).c_str());
    return 0;
}
