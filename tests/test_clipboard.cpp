/* Copy and paste through the clipboard, with every failure */
#include "engine_fixture.h"
#include "tavlib.h"
#include "velmo.h"

TEST_F(Engine, CopyPutsExactlyTheTextAndItsTerminator)
{
    fake::PutClipboardBytes("old");
    CopyTextToClipboard("1e+015");
    EXPECT_EQ(fake::ClipboardText(), "1e+015");
    EXPECT_EQ(GlobalSize(fake::world.clipboardText), 7u);
    EXPECT_FALSE(fake::world.clipboardOpen);
    EXPECT_EQ(fake::LiveBlocks(), 0);
}

TEST_F(Engine, FailedCopyReportsAndFreesItsBlock)
{
    const fake::Call failures[] = {fake::GLOBAL_ALLOC, fake::GLOBAL_LOCK, fake::OPEN_CLIPBOARD,
                                   fake::EMPTY_CLIPBOARD, fake::SET_CLIPBOARD_DATA};
    for (fake::Call call : failures) {
        SetUp();
        Load({2});
        fake::Fail(call);
        Press(CMD_COPY);
        EXPECT_EQ(Events(), (Texts{"box:Cannot copy number to Clipboard"})) << call;
        EXPECT_EQ(fake::world.boxes[0].caption, "VELMO 2 - Error");
        EXPECT_EQ(fake::LiveBlocks(), 0) << call;
        EXPECT_FALSE(fake::world.clipboardOpen);
        EXPECT_EQ(fake::ClipboardText(), "");
        EXPECT_EQ(Stack(), (std::vector<double>{2}));
    }
}

TEST_F(Engine, ReadTakes81BytesAndAppendsALineFeed)
{
    char buffer[PASTE_BUFFER_SIZE];
    std::string text(200, '7');
    fake::PutClipboardBytes(text + '\0');
    ReadClipboardText(buffer);
    EXPECT_EQ(std::string(buffer), text.substr(0, 81) + "\n");
    EXPECT_FALSE(fake::world.clipboardOpen);

    fake::PutClipboardBytes(std::string("12", 2));  /* no terminator: the block's end stops it */
    ReadClipboardText(buffer);
    EXPECT_EQ(std::string(buffer), "12\n");
    fake::PutClipboardBytes(std::string("", 1));
    ReadClipboardText(buffer);
    EXPECT_EQ(std::string(buffer), "\n");
    EXPECT_TRUE(Events().empty());
}

TEST_F(Engine, FailedReadReportsWhileTheClipboardIsOpen)
{
    const fake::Call failures[] = {fake::OPEN_CLIPBOARD, fake::GET_CLIPBOARD_DATA,
                                   fake::GLOBAL_LOCK, fake::CALL_COUNT};
    for (fake::Call call : failures) {
        SetUp();
        if (call != fake::CALL_COUNT)   /* CALL_COUNT: an empty clipboard */
            fake::PutClipboardBytes(std::string("5", 2));
        if (call != fake::CALL_COUNT)
            fake::Fail(call);
        bool openWhileShown = false;
        fake::world.onBox = [&](const fake::Box &) { openWhileShown = fake::world.clipboardOpen; };
        char buffer[PASTE_BUFFER_SIZE] = "junk";
        ReadClipboardText(buffer);
        EXPECT_EQ(std::string(buffer), "");
        EXPECT_EQ(Events(), (Texts{"sound:error.wav", "box:Cannot paste number from Clipboard"}));
        EXPECT_EQ(openWhileShown, call != fake::OPEN_CLIPBOARD) << call;
        EXPECT_FALSE(fake::world.clipboardOpen);
    }
}

TEST_F(Engine, PastedTextIsReplayedAsKeys)
{
    Load({2});
    fake::PutClipboardBytes(std::string("12.5+", 6));
    PasteFromClipboard();
    EXPECT_EQ(Stack(), (std::vector<double>{14.5}));
    EXPECT_EQ(calculator.entryDone, 1);

    SetUp();
    Load({9, 4});
    fake::PutClipboardBytes(std::string("-5", 3));
    PasteFromClipboard();   /* subtracts, then types 5 */
    EXPECT_EQ(Stack(), (std::vector<double>{5, 5}));

    SetUp();
    Load({1});
    fake::PutClipboardBytes(std::string("1.5e+020", 9));
    PasteFromClipboard();
    EXPECT_EQ(Stack(), (std::vector<double>{20, 2.5}));
    EXPECT_EQ(Line(0), "020");

    SetUp();
    Keys("3");
    fake::PutClipboardBytes(std::string("", 1));
    PasteFromClipboard();   /* the line feed alone finishes the entry */
    EXPECT_EQ(calculator.entryDone, 1);
    EXPECT_EQ(Stack(), (std::vector<double>{3}));
}

TEST_F(Engine, PasteOfNothingChangesNothing)
{
    Keys("4");
    PasteFromClipboard();
    EXPECT_EQ(Boxes(), (Texts{"Cannot paste number from Clipboard"}));
    EXPECT_EQ(calculator.entryDone, 0);
    EXPECT_EQ(Line(0), "4");
}
