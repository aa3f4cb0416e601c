// librask's table entries: plain functions that check the library object
// exists (and, for the flash operations, that the flash device is open),
// forward to the flash layer, map its result and record the failure.
#ifndef SRVFW_RASK_RASK_PUBLIC_H
#define SRVFW_RASK_RASK_PUBLIC_H

#include "include/rask_interface.h"

namespace Rask_Public {

unsigned Initialize(RASK_TABLE table, int platform, const bool& skipPrimaryUpdate);
unsigned DeInitialize(RASK_TABLE table);
unsigned LoadConfigurationFromSystem(RASK_TABLE table);
unsigned LoadConfigurationFromFile(RASK_TABLE table, const wchar_t* path, const wchar_t* name);
unsigned CommitConfigurationToSystem(RASK_TABLE table);
unsigned SaveConfigurationToFile(RASK_TABLE table, const wchar_t* path, const wchar_t* name);
unsigned IsLoaded(RASK_TABLE table, bool& loaded);
unsigned IsModified(RASK_TABLE table, bool& modified);
unsigned SetProgressCallback(RASK_TABLE table, const PROGRESS_CALLBACK& callback);
unsigned GetLastErrorMessage(RASK_TABLE table, wchar_t*& message);
unsigned SetLanguageLocale(RASK_TABLE table, const wchar_t* language, const wchar_t* country);
unsigned OpenRaskDriver(RASK_TABLE table);
unsigned GetBiosAreaTbl(RASK_TABLE table, unsigned* size, FLASH_AREA_TABLE* buffer);
unsigned GetSegmentTbl(RASK_TABLE table, unsigned* size, FLASH_SEGMENT_TBL* buffer);
unsigned ReadBiosMemory(RASK_TABLE table, unsigned length, FLASH_AREA_TABLE* area,
                        unsigned char* data);
unsigned WriteBiosMemory(RASK_TABLE table, unsigned length, FLASH_AREA_TABLE* area,
                         unsigned char* data);
unsigned EraseBiosBlocks(RASK_TABLE table, FLASH_AREA_TABLE* area);
unsigned SetUpdateNotify(RASK_TABLE table, const bool& set);
unsigned GetPlatformId(RASK_TABLE table, unsigned maxChars, wchar_t* out);
unsigned GetSmbiosData(RASK_TABLE table, SMB_DATA_TYPE type, unsigned length, char* out);
unsigned SetDebugLevel(RASK_TABLE table, unsigned level);
unsigned SetFlashLocking(const bool& lock);
unsigned SkipPrimaryCheck(RASK_TABLE table, const bool& skip);
unsigned GetNotifyTbl(RASK_TABLE table, unsigned* size, FLASH_NOTIFY_TABLE* buffer);
unsigned GetUpdateNotifyState(RASK_TABLE table, RASK_NOTIFY_STATE& state);
unsigned CheckBiosAreaForWrite(RASK_TABLE table, unsigned length, FLASH_AREA_TABLE* area);
unsigned GetFlashDeviceInfo(RASK_TABLE table, RASK_FLASH_DEVICE_INFO& info);

}  // namespace Rask_Public

#endif
