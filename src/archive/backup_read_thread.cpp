#include "archive/backup_read_thread.h"

#include "archive/ipod_backup.h"

namespace kestrow {

std::unique_ptr<TIpodBackReadThd> TIpodBackReadThd::CreateForIndex(TIpodBackup* session, int idx,
                                                                   std::string password, TDoneEvent onDone) {
    std::unique_ptr<TIpodBackReadThd> thread(new TIpodBackReadThd());
    thread->FSession = session;
    thread->FIndex = idx;
    thread->FPassword = std::move(password);
    thread->FOnDone = std::move(onDone);
    thread->FThread = std::thread(&TIpodBackReadThd::Execute, thread.get());
    return thread;
}

std::unique_ptr<TIpodBackReadThd>
TIpodBackReadThd::CreateForDevice(TIpodBackup* session, std::string uniqueId, std::string password,
                                  TToolEvent onTool, TDoneEvent onDone, bool refresh, TBackupTool tool) {
    std::unique_ptr<TIpodBackReadThd> thread(new TIpodBackReadThd());
    thread->FSession = session;
    thread->FUniqueId = std::move(uniqueId);
    thread->FPassword = std::move(password);
    thread->FOnTool = std::move(onTool);
    thread->FOnDone = std::move(onDone);
    thread->FRefresh = refresh;
    thread->FTool = std::move(tool);
    thread->FThread = std::thread(&TIpodBackReadThd::Execute, thread.get());
    return thread;
}

TIpodBackReadThd::~TIpodBackReadThd() {
    Wait();
}

void TIpodBackReadThd::Wait() {
    if (FThread.joinable()) {
        FThread.join();
    }
}

void TIpodBackReadThd::Execute() {
    if (FSession != nullptr) {
        if (FIndex < 0) {
            if (FRefresh) {
                FToolOk = FTool ? FTool(FUniqueId, FToolError) : false;
                if (!FTool) {
                    FToolError = "[Fb] Mobilebackup not found";
                }
                if (!FToolOk && !FToolError.empty()) {
                    FSession->Log().Append(FToolError);
                }
                if (FOnTool) {
                    FOnTool(FToolOk, FToolError);
                }
                FSession->RefreshBackups();
            }
            FResult = FSession->SelectDeviceBackup(FUniqueId, FToolOk, FPassword);
        } else {
            FResult = FSession->SelectBackup(FIndex, FPassword);
        }
    }
    if (FOnDone) {
        FOnDone(FResult);
    }
}

} // namespace kestrow
