// link IFNAME: which kinds of Internet access answer on the WAN interface.
// Three rounds of PPPoE, DHCP and foreign-address DHCP discovery, every frame
// that came back checked, then one ARP for a PPTP modem; the exit status is
// the flag word.
#include <zezarur/zezarur.h>

#include <cstdio>
#include <unistd.h>

namespace {

constexpr char usage[] = "Usage: %s <interface name>\n";  // %s: the name run as
constexpr int discoveryRounds = 3;
constexpr unsigned answerWait = 2;  // seconds

// The link outlives the applet, as the socket does; kept here it stays
// reachable for the leak checker.
LinkHandle *probeLink;

// Reads every frame already queued, each into inData, until the queue is
// empty (which linkRecv reports as a receive error).
template <typename Check>
void drain(LinkHandle *link, Check check) {
    while (linkRecv(link, inData, sizeof inData) == 0) check();
}

const char *word(uint32_t bit, const char *text) { return ispFound & bit ? text : ""; }

}  // namespace

extern "C" int linkMain(int argc, char **argv) {
    if (argc < 2) {
        std::printf(usage, argv[0]);
        return 1;
    }
    // A failed init is reported there; sends and receives then do nothing.
    probeLink = linkInit(argv[1]);

    for (int round = 1; round <= discoveryRounds; ++round) {
        std::printf("send discovery: try %d\n", round);
        pppoeSend(probeLink);
        dhcpSend(probeLink);
        dhcpSpoofSend(probeLink);  // from the DISCOVER dhcpSend left in outData
        sleep(answerWait);
    }
    std::puts("recv response");
    drain(probeLink, [] {
        pppoeCheck(inData, sizeof inData);
        dhcpCheck(inData, sizeof inData);
        dhcpBigPondCheck(inData);
        dhcpSpoofCheck(inData);
    });

    std::puts("send PPTP discovery");
    pptpSend(probeLink);
    sleep(answerWait);
    std::puts("recv PPTP response");
    drain(probeLink, [] { pptpCheck(inData, sizeof inData); });

    std::printf("ISPs Found: %s%s%s%s%s\n", word(ISP_PPPOE, "ISP_PPPOE "),
                word(ISP_DHCP, "ISP_DHCP "), word(ISP_BIGPOND, "ISP_BIGPOND "),
                word(ISP_DHCPSPOOF, "ISP_DHCPSPOOF "), word(ISP_PPTP, "ISP_PPTP "));
    return static_cast<int>(ispFound);
}
