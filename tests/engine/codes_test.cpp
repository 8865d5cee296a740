#include <ace/Message_Block.h>
#include <gtest/gtest.h>

#include "codes.h"
#include "messages.h"

namespace orvel {
namespace {

TEST(CodeNames, CommandNamesAndFallbacks) {
    EXPECT_STREQ(commandName(101), "CMD_START_PLAY");
    EXPECT_STREQ(commandName(107), "CMD_SOUND_PLAY");
    EXPECT_STREQ(commandName(27), "CMD_SEND_TEL_NUM");
    // Everything above the last named code reads as a dialled digit.
    EXPECT_STREQ(commandName(108), "CMD_SEND_TEL_NUM");
    EXPECT_STREQ(commandName(5000), "CMD_SEND_TEL_NUM");
    EXPECT_STREQ(commandName(0), "CMD_UNKNOWN_CODE");
    EXPECT_STREQ(commandName(26), "CMD_UNKNOWN_CODE");
    EXPECT_STREQ(commandName(100), "CMD_UNKNOWN_CODE");
}

TEST(CodeNames, EventClassStatusAndStateFallbacks) {
    EXPECT_STREQ(eventName(1), "EV_CHANGE_LINE_STATE");
    EXPECT_STREQ(eventName(4), "EV_DTMF_DETECT");
    EXPECT_STREQ(eventName(0), "EV_UNKNOWN_TYPE");
    EXPECT_STREQ(eventName(5), "EV_UNKNOWN_TYPE");
    EXPECT_STREQ(eventName(6), "EV_UNKNOWN_TYPE");
    EXPECT_STREQ(lineStateClassName(7), "LS_AON");
    EXPECT_STREQ(lineStateClassName(8), "UNKNOW_STATE");
    EXPECT_STREQ(ackTypeName(1), "ACKT_EXECUTE");
    EXPECT_STREQ(ackTypeName(2), "ACKT_UNKNOWN");
    EXPECT_STREQ(ackStatusName(4), "ACKS_HARDWARE_ERR");
    EXPECT_STREQ(ackStatusName(5), "ACKT_UNKNOWN");
    EXPECT_STREQ(algorithmStateName(16), "WAIT_ACKNOWLEDGE_FREE_LINE");
    EXPECT_STREQ(algorithmStateName(17), "UNKNOWN_STATE");
    EXPECT_STREQ(notifyResultName(4), "NR_LINE_DROP");
    EXPECT_STREQ(notifyResultName(5), "NR_UNOBTAINABLE");
    EXPECT_STREQ(notifyResultName(6), "NR_UNKNOWN");
    EXPECT_STREQ(notifyResultName(0xFFFFFFFF), "NR_UNKNOWN");
}

TEST(CodeNames, UnitCommandNames) {
    EXPECT_STREQ(unitCommandName(1), "SCMD_GET_FAIL_LEVEL");
    EXPECT_STREQ(unitCommandName(16), "SCMD_SET_AON_PAUSE_BETWEEN");
    EXPECT_STREQ(unitCommandName(27), "SCMD_SET_KEY_AON");
    EXPECT_STREQ(unitCommandName(28), "SCMD_GET_MIN_ACTIVATE_LEVEL");
    EXPECT_STREQ(unitCommandName(29), "SCMD_SET_MIN_ACTIVATE_LEVEL");
    for (uint32_t code : {0u, 17u, 18u, 21u, 24u, 26u, 30u}) {
        EXPECT_STREQ(unitCommandName(code), "UNKNOWN_SOGL_COMMAND") << code;
    }
}

TEST(Records, BuiltBlocksReadBackAndWrongSizesAreRefused) {
    Address to{0, 1, 5};
    ACE_Message_Block* cmd = makeCommandBlock(to, CMD_SEND_TEL_NUM, '7', 0, 3);
    ASSERT_NE(cmd, nullptr);
    EXPECT_EQ(cmd->msg_type(), MB_IOCTL);
    EXPECT_EQ(cmd->length(), kCommandRecordSize);
    const CommandRecord* c = commandOf(cmd);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->address.device, 1u);
    EXPECT_EQ(c->address.channel, 5u);
    EXPECT_EQ(c->code, uint32_t(CMD_SEND_TEL_NUM));
    EXPECT_EQ(c->arg1, uint32_t('7'));
    EXPECT_EQ(c->arg3, 3u);
    EXPECT_EQ(ackOf(cmd), nullptr);  // right size, wrong type
    cmd->wr_ptr(-1);                 // one byte short
    EXPECT_EQ(commandOf(cmd), nullptr);
    CommandRecord copy;
    EXPECT_FALSE(readRecord(cmd, copy));
    releaseBlock(cmd);

    // The transmit task's own acknowledgements carry no unit answer.
    ACE_Message_Block* ack = makeAckBlock(to, ACKT_EXECUTE, ACKS_OK, CMD_START_PLAY);
    ASSERT_NE(ackOf(ack), nullptr);
    EXPECT_EQ(ackOf(ack)->hasAnswer, 0u);
    EXPECT_EQ(ackOf(ack)->answer, 0u);
    releaseBlock(ack);
    ACE_Message_Block* unitAck = makeAckBlock(to, ACKT_EXECUTE, ACKS_OK, 4, true, 0x1F7);
    EXPECT_EQ(ackOf(unitAck)->hasAnswer, 1u);
    EXPECT_EQ(ackOf(unitAck)->answer, 0xF7u);
    releaseBlock(unitAck);

    int16_t samples[64] = {};
    ACE_Message_Block* rd = makeReadBlock(to, samples, sizeof samples, READ_SAMPLES);
    ASSERT_NE(readOf(rd), nullptr);
    EXPECT_EQ(rd->length(), kReadRecordSize);
    EXPECT_EQ(readOf(rd)->data, samples);
    EXPECT_EQ(readOf(rd)->length, sizeof samples);
    releaseBlock(rd);

    ACE_Message_Block* ev = makeEventBlock(to, EV_DTMF_DETECT, '9');
    ASSERT_NE(eventOf(ev), nullptr);
    EXPECT_EQ(eventOf(ev)->value, uint32_t('9'));
    EXPECT_EQ(eventOf(ev)->extra, 0u);
    releaseBlock(ev);
}

}  // namespace
}  // namespace orvel
