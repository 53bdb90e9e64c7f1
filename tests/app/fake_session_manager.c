/* A desktop session manager for tests: it listens for one client of the X session
 * management protocol, and when a line "end" comes on its standard input it ends the
 * session as a logout does: "save yourself" with shutdown, then "die" once the client
 * says it has saved. It prints the address to put in SESSION_MANAGER first, then one
 * line for each step ("registered", "saved", "closed"). */
#include <X11/ICE/ICElib.h>
#include <X11/SM/SMlib.h>

#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

static void say(const char *what)
{
    printf("%s\n", what);
    fflush(stdout);
}

static Status registerClient(SmsConn connection, SmPointer data, char *previousId)
{
    (void)data;
    free(previousId);
    char *id = SmsGenerateClientID(connection);
    SmsRegisterClientReply(connection, id);
    free(id);
    say("registered");
    return 1;
}

static void saveYourselfDone(SmsConn connection, SmPointer data, Bool success)
{
    (void)data;
    say(success ? "saved" : "save failed");
    SmsDie(connection);
}

static void closeConnection(SmsConn connection, SmPointer data, int count, char **reasons)
{
    (void)data;
    SmFreeReasons(count, reasons);
    IceConn ice = SmsGetIceConnection(connection);
    SmsCleanUp(connection);
    IceCloseConnection(ice);
    say("closed");
    exit(0);
}

static void setProperties(SmsConn connection, SmPointer data, int count, SmProp **properties)
{
    (void)connection, (void)data;
    for (int i = 0; i < count; ++i)
        SmFreeProperty(properties[i]);
    free(properties);
}

static void deleteProperties(SmsConn connection, SmPointer data, int count, char **names)
{
    (void)connection, (void)data;
    for (int i = 0; i < count; ++i)
        free(names[i]);
    free(names);
}

static void getProperties(SmsConn connection, SmPointer data)
{
    (void)data;
    SmsReturnProperties(connection, 0, NULL);
}

static void interactRequest(SmsConn connection, SmPointer data, int dialogType)
{
    (void)data, (void)dialogType;
    SmsInteract(connection);
}

static void ignoreInteractDone(SmsConn connection, SmPointer data, Bool cancel)
{
    (void)connection, (void)data, (void)cancel;
}

static void ignoreSaveRequest(SmsConn connection, SmPointer data, int style, Bool shutdown, int interact,
                              Bool fast, Bool global)
{
    (void)connection, (void)data, (void)style, (void)shutdown, (void)interact, (void)fast, (void)global;
}

static void ignorePhase2(SmsConn connection, SmPointer data)
{
    SmsSaveYourselfPhase2(connection);
    (void)data;
}

static SmsConn client;

static Status newClient(SmsConn connection, SmPointer data, unsigned long *mask, SmsCallbacks *callbacks,
                        char **failure)
{
    (void)data, (void)failure;
    client = connection;
    memset(callbacks, 0, sizeof *callbacks);
    callbacks->register_client.callback = registerClient;
    callbacks->interact_request.callback = interactRequest;
    callbacks->interact_done.callback = ignoreInteractDone;
    callbacks->save_yourself_request.callback = ignoreSaveRequest;
    callbacks->save_yourself_phase2_request.callback = ignorePhase2;
    callbacks->save_yourself_done.callback = saveYourselfDone;
    callbacks->close_connection.callback = closeConnection;
    callbacks->set_properties.callback = setProperties;
    callbacks->delete_properties.callback = deleteProperties;
    callbacks->get_properties.callback = getProperties;
    *mask = SmsRegisterClientProcMask | SmsInteractRequestProcMask | SmsInteractDoneProcMask
            | SmsSaveYourselfRequestProcMask | SmsSaveYourselfP2RequestProcMask | SmsSaveYourselfDoneProcMask
            | SmsCloseConnectionProcMask | SmsSetPropertiesProcMask | SmsDeletePropertiesProcMask
            | SmsGetPropertiesProcMask;
    return 1;
}

static Bool anyHost(char *host)
{
    (void)host;    /* the library frees it */
    return True;   /* a local socket of a test's own: no authentication */
}

int main(void)
{
    char error[256];
    if (!SmsInitialize("hf-test", "1.0", newClient, NULL, anyHost, sizeof error, error)) {
        fprintf(stderr, "fake_session_manager: %s\n", error);
        return 1;
    }
    int count = 0;
    IceListenObj *listeners = NULL;
    if (!IceListenForConnections(&count, &listeners, sizeof error, error) || count == 0) {
        fprintf(stderr, "fake_session_manager: %s\n", error);
        return 1;
    }
    /* Only the local sockets are named (and listened to): no client from the network. */
    int local = 0;
    for (int i = 0; i < count; ++i) {
        char *id = IceGetListenConnectionString(listeners[i]);
        if (strncmp(id, "local/", 6) == 0 || strncmp(id, "unix/", 5) == 0) {
            IceListenObj kept = listeners[local];
            listeners[local++] = listeners[i];
            listeners[i] = kept;
        }
        free(id);
    }
    count = local;
    for (int i = 0; i < count; ++i)
        IceSetHostBasedAuthProc(listeners[i], anyHost);
    char *ids = IceComposeNetworkIdList(count, listeners);
    say(ids);
    free(ids);

    IceConn connection = NULL;
    for (;;) {
        struct pollfd fds[34];
        int n = 0;
        fds[n++] = (struct pollfd){.fd = STDIN_FILENO, .events = POLLIN};
        for (int i = 0; i < count && i < 32; ++i)
            fds[n++] = (struct pollfd){.fd = IceGetListenConnectionNumber(listeners[i]), .events = POLLIN};
        const int talking = connection ? n : -1;
        if (connection)
            fds[n++] = (struct pollfd){.fd = IceConnectionNumber(connection), .events = POLLIN};
        if (poll(fds, (nfds_t)n, -1) < 0)
            return 1;
        if (fds[0].revents) {
            char line[64];
            if (!fgets(line, sizeof line, stdin))
                return 0;
            if (strncmp(line, "end", 3) == 0 && client)
                SmsSaveYourself(client, SmSaveLocal, True, SmInteractStyleNone, False);
        }
        for (int i = 0; i < count && i < 32; ++i) {
            if (!fds[1 + i].revents)
                continue;
            IceAcceptStatus status;
            IceConn accepted = IceAcceptConnection(listeners[i], &status);
            if (!accepted)
                continue;
            while (IceConnectionStatus(accepted) == IceConnectPending)
                IceProcessMessages(accepted, NULL, NULL);
            if (IceConnectionStatus(accepted) == IceConnectAccepted)
                connection = accepted;
        }
        if (talking >= 0 && fds[talking].revents
            && IceProcessMessages(connection, NULL, NULL) == IceProcessMessagesIOError) {
            say("closed");
            return 0;
        }
    }
}
