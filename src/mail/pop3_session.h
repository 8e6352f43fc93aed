#pragma once
// Pop3Session: the POP3 download as a state machine, free of any socket. The transport hands it
// every chunk of bytes that arrives and carries out the action it returns (send a command, start
// TLS, close). Complete messages go to a Pop3Sink to be stored; the messages are deleted on the
// server only after every one of them was stored, and any surprise (an -ERR, a reply that is not
// a POP3 reply, a message larger than announced, a lost line) ends the session without QUIT,
// so that the server deletes nothing.

#include <string>
#include <string_view>

namespace sorvik {

// Receives the downloaded messages and the status texts.
class Pop3Sink {
  public:
    virtual ~Pop3Sink() = default;
    // Stores message number (1-based, server order) with its full text. True when stored.
    virtual bool StoreMessage(int number, const std::string& text) = 0;
    // A new status text of the session.
    virtual void ShowStatus(const std::string& text) = 0;
};

struct Pop3Settings {
    std::string user;
    std::string password;
    bool tlsActive = false;  // the connection is already encrypted (port 995)
    bool useStls = true;     // ask for the server's capabilities and upgrade when STLS is offered
    // A message announced without a size may not grow beyond this.
    long long maxMessageBytes = 256LL * 1024 * 1024;
};

struct Pop3Action {
    enum class Kind { Wait, Send, StartTls, Close };
    Kind kind = Kind::Wait;
    std::string text;  // Send: the command
};

class Pop3Session {
  public:
    // The states: 0 greeting expected, 1 user sent, 2 password sent, 3 STAT sent, 5 retrieving,
    // 6 ended without deleting, 7 deleting, 8 all deleted; 9 CAPA sent, 10 STLS sent.
    enum State {
        kGreeting = 0,
        kUserSent = 1,
        kPassSent = 2,
        kStatSent = 3,
        kUnused = 4,
        kRetrieving = 5,
        kEnded = 6,
        kDeleting = 7,
        kAllDeleted = 8,
        kCapaSent = 9,
        kStlsSent = 10,
    };

    // The message being retrieved. Its text goes to the sink and is not kept.
    struct Entry {
        long long expectedSize = 0;  // from the RETR reply; 0 when not announced
        long long receivedSize = 0;  // raw bytes of the reply received so far
    };

    explicit Pop3Session(Pop3Sink& sink);

    // Starts a session on a new connection: the greeting is expected next.
    void Begin(const Pop3Settings& settings);
    // Bytes from the server.
    Pop3Action OnData(std::string_view bytes);
    // The transport finished the TLS handshake a StartTls action asked for.
    Pop3Action OnTlsStarted();
    // The connection failed or closed, or no reply came in time.
    void OnTransportError();

    int state() const { return state_; }
    bool Finished() const { return finished_; }
    bool AllStored() const { return stored_; }
    const std::string& StatusText() const { return status_; }
    const std::string& Response() const { return response_; }
    int MessageCount() const { return messageCount_; }
    long long TotalSize() const { return totalSize_; }

  private:
    Pop3Action HandleResponse(const std::string& response);
    Pop3Action HandleRetrieved(const std::string& body);
    Pop3Action SendUser();
    Pop3Action Quit(const std::string& status, int nextState);
    Pop3Action Abort(const std::string& status);
    void SetStatus(const std::string& text);
    bool ExpectsMultiLine() const;
    // True when the buffer holds one complete reply; takes it out.
    bool TakeResponse(std::string& response, bool& tooLarge);

    Pop3Sink& sink_;
    Pop3Settings settings_;
    std::string buffer_;
    std::string response_;  // the last reply (its first 20000 bytes)
    std::string status_ = "Not connected to server\r\n";
    int state_ = kGreeting;
    bool quitSent_ = false;
    bool finished_ = false;
    bool stored_ = false;
    bool allStoredSoFar_ = true;
    int messageCount_ = 0;
    long long totalSize_ = 0;
    Entry current_;
    int currentMessage_ = 0;
    int deleteNumber_ = 0;
};

}  // namespace sorvik
