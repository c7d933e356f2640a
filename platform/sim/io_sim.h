// simwin: named pipes, overlapped I/O on them, events opened by ANSI name and GUIDs as text, declared as the Windows
// SDK declares them (fileapi.h, namedpipeapi.h, ioapiset.h, minwinbase.h, synchapi.h, combaseapi.h). Included at
// the end of win32_sim.h; never include it on its own.
//
// Only what a process needs to pass lines to another one: inbound byte-mode pipes, a client that writes, a server
// that reads. CreateFileW opens nothing but pipes. Pipes and their names live in one namespace for all logical
// processes, as in a Windows session; a pipe belongs to the logical process of the thread that created it.
#pragma once

#define ERROR_INVALID_FUNCTION 1L
#define ERROR_PATH_NOT_FOUND 3L
#define ERROR_GEN_FAILURE 31L
#define ERROR_BROKEN_PIPE 109L
#define ERROR_SEM_TIMEOUT 121L
#define ERROR_INVALID_NAME 123L
#define ERROR_BAD_PATHNAME 161L
#define ERROR_PIPE_BUSY 231L
#define ERROR_NO_DATA 232L
#define ERROR_PIPE_NOT_CONNECTED 233L
#define ERROR_MORE_DATA 234L
#define ERROR_PIPE_CONNECTED 535L
#define ERROR_PIPE_LISTENING 536L
#define ERROR_OPERATION_ABORTED 995L
#define ERROR_IO_INCOMPLETE 996L
#define ERROR_IO_PENDING 997L
#define ERROR_NOT_FOUND 1168L

#define STATUS_PENDING ((DWORD)0x00000103L)

#define GENERIC_READ 0x80000000L
#define GENERIC_WRITE 0x40000000L
#define FILE_SHARE_READ 0x00000001
#define FILE_SHARE_WRITE 0x00000002
#define OPEN_EXISTING 3
#define FILE_ATTRIBUTE_NORMAL 0x00000080
#define FILE_FLAG_OVERLAPPED 0x40000000
#define FILE_FLAG_FIRST_PIPE_INSTANCE 0x00080000

#define PIPE_ACCESS_INBOUND 0x00000001
#define PIPE_ACCESS_OUTBOUND 0x00000002
#define PIPE_ACCESS_DUPLEX 0x00000003
#define PIPE_WAIT 0x00000000
#define PIPE_NOWAIT 0x00000001
#define PIPE_READMODE_BYTE 0x00000000
#define PIPE_READMODE_MESSAGE 0x00000002
#define PIPE_TYPE_BYTE 0x00000000
#define PIPE_TYPE_MESSAGE 0x00000004
#define PIPE_ACCEPT_REMOTE_CLIENTS 0x00000000
#define PIPE_REJECT_REMOTE_CLIENTS 0x00000008
#define PIPE_UNLIMITED_INSTANCES 255
#define NMPWAIT_USE_DEFAULT_WAIT 0x00000000
#define NMPWAIT_NOWAIT 0x00000001
#define NMPWAIT_WAIT_FOREVER 0xffffffff

typedef struct _OVERLAPPED {
  ULONG_PTR Internal;      // the operation's status: STATUS_PENDING until it completes
  ULONG_PTR InternalHigh;  // bytes transferred
  union {
    struct {
      DWORD Offset;
      DWORD OffsetHigh;
    };
    PVOID Pointer;
  };
  HANDLE hEvent;
} OVERLAPPED, *LPOVERLAPPED;
typedef void(WINAPI* LPOVERLAPPED_COMPLETION_ROUTINE)(DWORD dwErrorCode, DWORD dwNumberOfBytesTransfered,
                                                       LPOVERLAPPED lpOverlapped);
#define HasOverlappedIoCompleted(lpOverlapped) (((DWORD)(lpOverlapped)->Internal) != STATUS_PENDING)

// Server end. PIPE_ACCESS_INBOUND (optionally with FILE_FLAG_OVERLAPPED and FILE_FLAG_FIRST_PIPE_INSTANCE) and
// PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT only; anything else fails with ERROR_NOT_SUPPORTED.
HANDLE WINAPI CreateNamedPipeW(LPCWSTR lpName, DWORD dwOpenMode, DWORD dwPipeMode, DWORD nMaxInstances,
                               DWORD nOutBufferSize, DWORD nInBufferSize, DWORD nDefaultTimeOut,
                               LPSECURITY_ATTRIBUTES lpSecurityAttributes);
// With lpOverlapped on an overlapped handle: ERROR_IO_PENDING, then completion through the event.
BOOL WINAPI ConnectNamedPipe(HANDLE hNamedPipe, LPOVERLAPPED lpOverlapped);
BOOL WINAPI DisconnectNamedPipe(HANDLE hNamedPipe);
BOOL WINAPI WaitNamedPipeW(LPCWSTR lpNamedPipeName, DWORD nTimeOut);
BOOL WINAPI GetNamedPipeServerProcessId(HANDLE Pipe, ULONG* ServerProcessId);

// Client end: `\\.\pipe\NAME` with GENERIC_WRITE and OPEN_EXISTING; other paths fail with ERROR_NOT_SUPPORTED.
HANDLE WINAPI CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                          LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                          DWORD dwFlagsAndAttributes, HANDLE hTemplateFile);
// Reads on a server end, writes on a client end. Without lpOverlapped the call blocks (not alertably) until done.
BOOL WINAPI ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead, LPDWORD lpNumberOfBytesRead,
                     LPOVERLAPPED lpOverlapped);
BOOL WINAPI WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite, LPDWORD lpNumberOfBytesWritten,
                      LPOVERLAPPED lpOverlapped);
// The completion routine runs as an APC of the calling thread, in one of its alertable waits.
BOOL WINAPI WriteFileEx(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite, LPOVERLAPPED lpOverlapped,
                        LPOVERLAPPED_COMPLETION_ROUTINE lpCompletionRoutine);
BOOL WINAPI CancelIo(HANDLE hFile);
BOOL WINAPI GetOverlappedResult(HANDLE hFile, LPOVERLAPPED lpOverlapped, LPDWORD lpNumberOfBytesTransferred,
                                BOOL bWait);

// ANSI names are taken as UTF-8 (simwin's code page).
HANDLE WINAPI CreateEventA(LPSECURITY_ATTRIBUTES lpEventAttributes, BOOL bManualReset, BOOL bInitialState,
                           LPCSTR lpName);
HANDLE WINAPI OpenEventA(DWORD dwDesiredAccess, BOOL bInheritHandle, LPCSTR lpName);

// Random (version 4) GUIDs, and their registry form "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".
STDAPI CoCreateGuid(GUID* pguid);
int WINAPI StringFromGUID2(REFGUID rguid, LPOLESTR lpsz, int cchMax);
