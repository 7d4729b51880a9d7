// The messages panel instances send to the main instance: a name, "|" and a payload, at most 511
// bytes, applied exactly as the main window's page call of the same name would be. The requests that
// get a reply, and changeSettings, are panel_sync.h's.
#pragma once

#include <cstddef>
#include <string>

namespace rv {

// Sends name + "|" + payload to the main instance and returns at once; a message that cannot be
// delivered (no main instance, or it is busy with another panel) is lost. Panel instance.
void sendPanelMessage(const std::string& name, const std::string& payload);

// Applies the bytes of one message: the text up to the first zero byte, split at the first "|";
// updateSpammer, updateKeySpam, toggleSpammer, toggleKeySpam, panelHover, reassignKey and
// changeSettings; anything else is ignored. Pipe server thread.
void handlePanelMessage(const char* bytes, size_t length);

// Answers a request message (getSettings, getPanelStatus; the macro library's saveMacro, loadMacro,
// macroJob and macroCall, bridge/macro_jobs.h; ravelin-cli's, bridge/remote_commands.h) with its reply;
// applies any other message with handlePanelMessage and returns the empty text. Pipe server thread.
std::string servePanelMessage(const char* bytes, size_t length);

// Thread body of the pipe server: serves panels until the pipe is stopped at shutdown.
void pipeServerThread();

}  // namespace rv
