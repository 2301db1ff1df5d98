#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "config/SiblingFile.h"
#include "config/TExtIniFile.h"

// The message file beside the program: numbered error and status texts (Windows-1251 bytes).
namespace pulsedesk::config {

// Selects a section of the message file and, for Info to SaveToFileDialog, a key prefix.
// Values outside 0..12 are unknown kinds and get the "Unknown type message!" text.
enum class MessageKind : int32_t {
    Info = 0,                // [INFO_MESSAGE], INFO<n>
    Question = 1,            // [QUESTION], QUEST<n>
    Warning = 2,             // [WARNING_MESSAGE], WARN<n>
    Error = 3,               // [ERROR_MESSAGE], ERR<n>
    Status = 4,              // [STATUS_MESSAGE], STAT<n>
    MainDialog = 5,          // [MAIN_DIALOG], <n>
    SaveToFileDialog = 6,    // [SAVE_TO_FILE_DIALOG], <n>
    LoadFromFileDialog = 7,  // [LOAD_FROM_FILE_DIALOG]; kinds 7 to 12 have no numbered keys
    VisibleDialog = 8,       // [VISIBLE_DIALOG]
    LoadDialog = 9,          // [LOAD_DIALOG]
    ToolsDialog = 10,        // [TOOLS_DIALOG]
    MenuItems = 11,          // [MENU_ITEMS]
    ContextMenuItems = 12,   // [CONTEXT_MENU_ITEMS]
};

class MessageFile {
  public:
    // Opens <program>.msg when it exists; never fails (ask IsOpen).
    explicit MessageFile(std::string_view exePath);
    // Opens exactly this file when it exists.
    explicit MessageFile(ExactFile file);
    virtual ~MessageFile();
    MessageFile(const MessageFile&) = delete;
    MessageFile& operator=(const MessageFile&) = delete;

    bool IsOpen() const { return ini_ != nullptr; }
    const std::string& FileName() const { return fileName_; }

    // "ERR7", "STAT3", "12" for the dialog kinds; the unknown-kind text for other kinds.
    virtual std::string MakeMessageKey(MessageKind kind, int32_t number) const;
    // The same key; false when the kind is unknown.
    virtual bool TryMakeMessageKey(MessageKind kind, int32_t number, std::string& key) const;
    // The message's text, or a text that says why there is none:
    //   "File of Messages (<file>) not found!"          the file was missing at construction,
    //   "Unknown type message! (ID = <kind>)"            the kind is unknown,
    //   "Message (key = <key>) of section [<section>] not found!"   the key is missing.
    // A key with an empty value gives an empty text. Never fails.
    virtual std::string GetMessage(MessageKind kind, int32_t number) const;
    // The "Caption" entry of the kind's section, or `defaultText`.
    virtual std::string GetCaption(MessageKind kind, std::string_view defaultText) const;
    // A named entry of the kind's section, or `defaultText` (also for a missing file or an
    // unknown kind).
    std::string ReadMessageText(MessageKind kind, std::string_view key,
                                std::string_view defaultText) const;
    // Sets `text` as GetMessage does; true only when the key exists in the file now.
    virtual bool TryGetMessage(MessageKind kind, int32_t number, std::string& text) const;

  private:
    std::string fileName_;
    std::unique_ptr<TExtIniFile> ini_;
};

}  // namespace pulsedesk::config
