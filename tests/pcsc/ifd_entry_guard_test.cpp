// No exception leaves the handler's entry points into pcscd: a call that
// cannot get the memory or the thread it needs gives IFD_COMMUNICATION_ERROR
// and a line in the log, and the reader is served again once they are there.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "ifd_api.h"
#include "network_test_support.h"
#include "resource_faults.h"

using kvr7x::test::FailingResources;

TEST(IfdEntryGuards, AnEntryPointWithoutMemoryOrAThreadGivesACommunicationErrorAndPcscdGoesOn) {
    auto emu = kvr7x::test::startEmulator();
    std::string url = emu->url();
    constexpr DWORD kLun = 0x30000;
    UCHAR atr[MAX_ATR_SIZE];
    DWORD atrLength = sizeof atr;
    UCHAR select[] = {0x00, 0xA4, 0x00, 0x00, 0x02, 0x3F, 0x00};
    UCHAR reply[258];
    DWORD replyLength = sizeof reply;
    SCARD_IO_HEADER pci{SCARD_PROTOCOL_T0, sizeof(SCARD_IO_HEADER)};

    const struct Row {
        const char *call;
        int faults;
        std::function<RESPONSECODE()> run;
        const char *logged;  // the guard's line; null when the call fails by its own check
    } rows[] = {
        {"IFDHCreateChannelByName", FailingResources::Memory, [&] { return IFDHCreateChannelByName(kLun, url.data()); },
         "ifdkvr7x: IFDHCreateChannelByName failed: std::bad_alloc\n"},
        // The network port's receiving thread cannot be made: no port.
        {"IFDHCreateChannelByName", FailingResources::Threads,
         [&] { return IFDHCreateChannelByName(kLun, url.data()); }, nullptr},
        {"IFDHPowerICC", FailingResources::Memory, [&] { return IFDHPowerICC(kLun, IFD_POWER_UP, atr, &atrLength); },
         "ifdkvr7x: IFDHPowerICC failed: std::bad_alloc\n"},
        {"IFDHTransmitToICC", FailingResources::Memory,
         [&] {
             replyLength = sizeof reply;
             return IFDHTransmitToICC(kLun, pci, select, sizeof select, reply, &replyLength, nullptr);
         },
         "ifdkvr7x: IFDHTransmitToICC failed: std::bad_alloc\n"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(std::string(row.call) +
                     (row.faults == FailingResources::Memory ? " without memory" : " without a thread"));
        testing::internal::CaptureStderr();
        RESPONSECODE rc = IFD_SUCCESS;
        long refused = 0;
        {
            FailingResources faults(row.faults);
            rc = row.run();
            refused = FailingResources::refused();
        }
        const std::string logged = testing::internal::GetCapturedStderr();
        EXPECT_GT(refused, 0);
        EXPECT_EQ(rc, IFD_COMMUNICATION_ERROR);
        if (row.logged) {
            EXPECT_EQ(logged, row.logged);
        }
        // Once there is memory again, the same call is served.
        if (std::strcmp(row.call, "IFDHCreateChannelByName") == 0 && row.faults == FailingResources::Threads) {
            ASSERT_EQ(IFDHCreateChannelByName(kLun, url.data()), IFD_SUCCESS);
        }
    }
    atrLength = sizeof atr;
    EXPECT_EQ(IFDHPowerICC(kLun, IFD_POWER_UP, atr, &atrLength), IFD_SUCCESS);
    EXPECT_GT(atrLength, 0u);
    replyLength = sizeof reply;
    EXPECT_EQ(IFDHTransmitToICC(kLun, pci, select, sizeof select, reply, &replyLength, nullptr), IFD_SUCCESS);
    EXPECT_GE(replyLength, 2u);
    EXPECT_EQ(IFDHCloseChannel(kLun), IFD_SUCCESS);
}
