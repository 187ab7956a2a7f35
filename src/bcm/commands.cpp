#include "bcm/commands.hpp"

#include <zezarur/adp.h>
#include <zezarur/zezarur.h>

#include <cstdio>
#include <iterator>

#include "bcm/reports.hpp"
#include "devices/bcm53xx.hpp"
#include "platform/decimal.hpp"

namespace zezarur::bcm {
namespace {

// What a command's request carries and what it reports.
enum class Form { portMap, dot1q, reg, mib, port, arl, portVlan, none, flag };

struct Command {
    int id;
    int needs;
    unsigned long code;
    const char *failure;
    Form form;
    int value;
};

constexpr Command commands[] = {
#define ZEZARUR_BCM_COMMAND(id, verb, object, needs, code, failure, form, value) \
    {id, needs, code, failure, Form::form, value},
    ZEZARUR_BCM_COMMANDS(ZEZARUR_BCM_COMMAND)
#undef ZEZARUR_BCM_COMMAND
};

constexpr bool idsInOrder() {
    int i = 1;
    for (const Command &c : commands)
        if (c.id != i++) return false;
    return true;
}
static_assert(idsInOrder(), "commands[i].id == i + 1");
static_assert(std::size(commands) == std::size(cmds), "a row for each slot of the exported table");

const Command &command(int id) { return commands[static_cast<size_t>(id - 1)]; }

// Decimal, no error check, cut to the record field's width.
template <typename Field>
Field number(const char *word) {
    return static_cast<Field>(decimal(word));
}

int issue(int fd, const Command &c, void *record) {
    if (adpIoctl(fd, c.code, record) < 0) {
        std::puts(c.failure);
        return -1;
    }
    return 0;
}

}  // namespace

int argumentsNeeded(int id) { return command(id).needs; }

int perform(int id, int fd, char **argv) {
    const Command &c = command(id);
    switch (c.form) {
    case Form::portMap: {
        PortMap map{};
        if (issue(fd, c, &map) < 0) return -1;
        printPortMap(map);
        return 0;
    }
    case Form::dot1q: {
        Dot1qState state{};
        if (issue(fd, c, &state) < 0) return -1;
        printDot1q(state);
        return 0;
    }
    case Form::reg: {
        RegRequest reg{number<uint8_t>(argv[3]), number<uint16_t>(argv[4]),
                       number<uint8_t>(argv[5])};
        return issue(fd, c, &reg);
    }
    case Form::mib: {
        MibCounters mib{};
        mib.port = number<uint16_t>(argv[3]);
        if (issue(fd, c, &mib) < 0) return -1;
        printMib(mib);
        return 0;
    }
    case Form::port: {
        PortConfig config{c.value, number<int32_t>(argv[3])};
        return issue(fd, c, &config);
    }
    case Form::arl: {
        uint64_t entries[arlCapacity];
        ArlRequest arl{reinterpret_cast<uintptr_t>(entries), 0};
        if (issue(fd, c, &arl) < 0) return -1;
        printArl(entries, arl.count);
        return 0;
    }
    case Form::portVlan: {
        PortVlanConfig config{number<int16_t>(argv[3]), number<int16_t>(argv[4]), c.value};
        return issue(fd, c, &config);
    }
    case Form::none: {
        int unused = 0;
        return issue(fd, c, &unused);
    }
    case Form::flag: {
        int32_t on = c.value;
        return issue(fd, c, &on);
    }
    }
    return -1;
}

}  // namespace zezarur::bcm
