#ifndef ZARN_UPDATER_DIALOG_MESSAGES_H_
#define ZARN_UPDATER_DIALOG_MESSAGES_H_

#include <cstdint>
#include <string>
#include <vector>

namespace zarn {
namespace Updater {

// The English message ids of the dialog's texts; each is translated when shown. "{1}" is
// the game's name.
constexpr char kSupportHost[] = "support.corvane.com";
constexpr char kWindowTitle[] = "{1} Downloader";
constexpr char kErrorCaption[] = "{1} Downloader Error";
constexpr char kLaunchingText[] = "Launching {1} Downloader";
constexpr char kNetworkMessage[] =
    "We couldn't establish a connection. Could you please check your connection and try "
    "again?";
constexpr char kOutOfMemoryMessage[] =
    "The system is out of memory; are you running too many programs? Free up some memory and "
    "try again.";
constexpr char kDiskFullMessage[] =
    "It looks like your system disk is out of space. Free some space and give it another try.";
constexpr char kDiskWriteMessage[] =
    "We're having some trouble writing to your disk. Can you make sure your user account has "
    "sufficient permissions and try again?";

// "Please visit <support host> for further assistance."
std::string SupportMessage();
// "An unexpected error occurred. " followed by the support sentence.
std::string UnexpectedErrorMessage();
// "The {1} Downloader could not be launched. " followed by the support sentence.
std::string LaunchFailedMessage();
// The message id for a transfer error value (TransferError): Network 2, OutOfMemory 3,
// DiskFull 4, FileAccess 5 and File 7 have their own; every other value is unexpected.
std::string ErrorMessage(uint8_t error);

// Every message id the program shows.
std::vector<std::string> AllMessageIds();

}  // namespace Updater
}  // namespace zarn

#endif  // ZARN_UPDATER_DIALOG_MESSAGES_H_
