#include "MessageBox.h"
#include "SaveFileDialog.h"

#include <gtest/gtest.h>

#include <utility>

using namespace zel;

TEST(DialogHooks, WithoutAHandlerNothingIsConfirmedOrChosenUnseen) {
    const MessageBoxHandler boxes = SetMessageBoxHandler({});
    const SaveDialogHandler dialog = SetSaveDialogHandler({});
    const std::pair<MessageButtons, MessageAnswer> cases[] = {
        {MessageButtons::Ok, MessageAnswer::Ok},
        {MessageButtons::OkCancel, MessageAnswer::Cancel},
        {MessageButtons::YesNo, MessageAnswer::No},
    };
    for (const auto& [buttons, answer] : cases)
        EXPECT_EQ(ShowMessageBox(MessageKind::Warning, "Overwrite?", buttons), answer);
    EXPECT_FALSE(RunSaveDialog({}));
    SetMessageBoxHandler(boxes);
    SetSaveDialogHandler(dialog);
}
