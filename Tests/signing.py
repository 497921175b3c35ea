"""Code-signing keys for the tests that sign: a PKCS#11 token made by SoftHSM2 in a folder of
the test's, holding a key and a certificate made by openssl. No Wine needed.
"""
import os
import subprocess

MODULE = "/usr/lib/softhsm/libsofthsm2.so"


def token(folder, name, pin="2468"):
    """A token labelled NAME in FOLDER with a code-signing key and certificate (CN=NAME), both
    "signing-key". Sets SOFTHSM2_CONF for this process and its children (one token folder per
    process). Returns the builder's options: the key's URI, the module, the PIN file."""
    os.makedirs(os.path.join(folder, "tokens"), exist_ok=True)
    conf = os.path.join(folder, "softhsm2.conf")
    with open(conf, "w") as f:
        f.write(f"directories.tokendir = {os.path.join(folder, 'tokens')}\nobjectstore.backend = file\n"
                "log.level = ERROR\n")
    os.environ["SOFTHSM2_CONF"] = conf
    files = {part: os.path.join(folder, f"{name}.{part}") for part in ("key", "p8", "pem", "der", "pin")}
    with open(files["pin"], "w") as f:
        f.write(pin + "\n")

    def run(*command):
        subprocess.run(command, check=True, capture_output=True, stdin=subprocess.DEVNULL, timeout=60)

    run("openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", files["key"], "-out", files["pem"],
        "-days", "30", "-subj", f"/CN={name}", "-addext", "extendedKeyUsage=codeSigning",
        "-addext", "keyUsage=digitalSignature")
    run("openssl", "pkcs8", "-topk8", "-nocrypt", "-in", files["key"], "-out", files["p8"])
    run("openssl", "x509", "-in", files["pem"], "-outform", "DER", "-out", files["der"])
    run("softhsm2-util", "--init-token", "--free", "--label", name, "--pin", pin, "--so-pin", "13579")
    run("softhsm2-util", "--import", files["p8"], "--token", name, "--label", "signing-key", "--id", "01",
        "--pin", pin)
    run("pkcs11-tool", "--module", MODULE, "--token-label", name, "--login", "--pin", pin, "--write-object",
        files["der"], "--type", "cert", "--label", "signing-key", "--id", "01")
    return ["--sign-pkcs11", f"pkcs11:token={name};object=signing-key", "--pkcs11-module", MODULE,
            "--sign-password-file", files["pin"]]
