# A real SMTP server for the mail tests (aiosmtpd) on a loopback port it prints first. Stores
# message N as out/N.eml (as received, dots unstuffed) and N.env (sender, recipients, login, tls).
# --cert/--key: STARTTLS (or TLS at once with --implicit-tls); --auth U:P: login required
# (LOGIN, PLAIN, CRAM-MD5 added here); --reject RCPT: refuses that recipient.
import argparse
import asyncio
import hashlib
import hmac
import os
import secrets
import ssl
import sys

from aiosmtpd.smtp import MISSING, SMTP, AuthResult, LoginPassword


class Handler:
    def __init__(self, out, user, password, reject):
        self.out = out
        self.user = user
        self.password = password
        self.reject = reject
        self.count = 0

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if address == self.reject:
            return "550 5.1.1 mailbox unavailable"
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        base = os.path.join(self.out, str(self.count))
        with open(base + ".eml", "wb") as f:
            f.write(envelope.original_content)
        tls = session.ssl is not None or server.transport.get_extra_info("ssl_object") is not None
        login = session.login_data
        if isinstance(login, bytes):
            login = login.decode("utf-8", "replace")
        with open(base + ".env", "w") as f:
            f.write("%s\n%s\n%s\n%s\n" % (envelope.mail_from, ",".join(envelope.rcpt_tos),
                                          login or "-", "tls" if tls else "plain"))
        return "250 Message accepted for delivery"

    async def auth_CRAM__MD5(self, server, args):
        challenge = ("<%s@sorvik.test>" % secrets.token_hex(8)).encode()
        answer = await server.challenge_auth(challenge)
        if answer is MISSING:
            return AuthResult(success=False, handled=False)
        user, _, digest = answer.partition(b" ")
        expected = hmac.new(self.password.encode(), challenge, hashlib.md5).hexdigest().encode()
        ok = user.decode() == self.user and hmac.compare_digest(digest, expected)
        return AuthResult(success=ok, handled=False, auth_data=LoginPassword(user, b""))

    def authenticate(self, server, session, envelope, mechanism, auth_data):
        ok = (isinstance(auth_data, LoginPassword)
              and auth_data.login.decode() == self.user
              and auth_data.password.decode() == self.password)
        return AuthResult(success=ok, handled=False, auth_data=auth_data)


async def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--out", required=True)
    parser.add_argument("--cert")
    parser.add_argument("--key")
    parser.add_argument("--implicit-tls", action="store_true")
    parser.add_argument("--auth")
    parser.add_argument("--reject")
    args = parser.parse_args()

    user, password = (args.auth.split(":", 1) if args.auth else (None, None))
    handler = Handler(args.out, user, password, args.reject)
    context = None
    if args.cert:
        context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        context.load_cert_chain(args.cert, args.key)

    def factory():
        return SMTP(handler,
                    hostname="sorvik.test",
                    tls_context=None if args.implicit_tls else context,
                    auth_required=bool(args.auth),
                    auth_require_tls=False,
                    authenticator=handler.authenticate if args.auth else None)

    loop = asyncio.get_running_loop()
    server = await loop.create_server(factory, "127.0.0.1", 0,
                                      ssl=context if args.implicit_tls else None)
    print(server.sockets[0].getsockname()[1], flush=True)
    async with server:
        await server.serve_forever()


if __name__ == "__main__":
    try:
        asyncio.run(main())
    except KeyboardInterrupt:
        sys.exit(0)
