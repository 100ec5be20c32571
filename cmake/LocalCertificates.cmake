# Makes a certificate authority and a server certificate for 127.0.0.1 with the openssl command.
# The keys live in the build folder only; they are made once and reused by later configures.
# The authority's name is Qolvi-Local-CA unless a second argument gives another.
function(qolvi_make_local_ca directory)
    set(name Qolvi-Local-CA)
    if(ARGC GREATER 1)
        set(name "${ARGV1}")
    endif()
    find_program(OPENSSL_COMMAND openssl REQUIRED)
    set(ca_key "${directory}/ca.key")
    set(ca_cert "${directory}/ca.pem")
    set(server_key "${directory}/server.key")
    set(server_cert "${directory}/server.pem")
    if(EXISTS "${ca_cert}" AND EXISTS "${server_cert}" AND EXISTS "${server_key}")
        return()
    endif()
    file(MAKE_DIRECTORY "${directory}")
    file(WRITE "${directory}/server.ext"
         "basicConstraints=CA:FALSE\n"
         "keyUsage=digitalSignature,keyEncipherment\n"
         "extendedKeyUsage=serverAuth\n"
         "subjectAltName=IP:127.0.0.1,DNS:localhost\n")
    set(commands
        "req -x509 -newkey rsa:2048 -nodes -days 3650 -subj /CN=${name} -keyout ca.key -out ca.pem -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign,cRLSign"
        "req -newkey rsa:2048 -nodes -subj /CN=127.0.0.1 -keyout server.key -out server.csr"
        "x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 825 -extfile server.ext -out server.pem")
    qolvi_run_openssl("${directory}" ${commands})
endfunction()

# Beside a local CA's server certificate, three that a client must refuse, all for the server's
# key: one for another host, one that has expired, one signed by nobody but itself.
function(qolvi_make_refused_certificates directory)
    if(EXISTS "${directory}/selfsigned.pem")
        return()
    endif()
    file(WRITE "${directory}/otherhost.ext" "subjectAltName=DNS:other.invalid\n")
    # An end before the start is refused by newer openssl, so the expired one gets explicit
    # dates, which only `openssl ca` takes in every version, with a database of its own.
    file(WRITE "${directory}/expired.cnf"
         "[ca]\ndefault_ca=expired\n"
         "[expired]\ndatabase=expired.index\nserial=expired.serial\nnew_certs_dir=.\n"
         "default_md=sha256\npolicy=any\nunique_subject=no\n"
         "[any]\ncommonName=supplied\n")
    file(WRITE "${directory}/expired.index" "")
    file(WRITE "${directory}/expired.serial" "01\n")
    qolvi_run_openssl("${directory}"
        "req -new -key server.key -subj /CN=other.invalid -out otherhost.csr"
        "x509 -req -in otherhost.csr -CA ca.pem -CAkey ca.key -days 30 -extfile otherhost.ext -out otherhost.pem"
        "ca -batch -config expired.cnf -cert ca.pem -keyfile ca.key -in server.csr -notext -startdate 20200101000000Z -enddate 20200102000000Z -extfile server.ext -out expired.pem"
        "req -x509 -key server.key -subj /CN=127.0.0.1 -days 30 -addext subjectAltName=IP:127.0.0.1 -out selfsigned.pem")
endfunction()

# Beside a local CA, an intermediate authority that it signed and a certificate for the server's
# key that the intermediate signed; chained.pem holds the two, as a server sends them.
function(qolvi_make_intermediate directory)
    if(EXISTS "${directory}/chained.pem")
        return()
    endif()
    file(WRITE "${directory}/intermediate.ext"
         "basicConstraints=critical,CA:TRUE,pathlen:0\n"
         "keyUsage=critical,keyCertSign,cRLSign\n")
    qolvi_run_openssl("${directory}"
        "req -newkey rsa:2048 -nodes -subj /CN=Qolvi-Local-Intermediate -keyout intermediate.key -out intermediate.csr"
        "x509 -req -in intermediate.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 3650 -extfile intermediate.ext -out intermediate.pem"
        "x509 -req -in server.csr -CA intermediate.pem -CAkey intermediate.key -CAcreateserial -days 825 -extfile server.ext -out intermediate-leaf.pem")
    file(READ "${directory}/intermediate-leaf.pem" leaf)
    file(READ "${directory}/intermediate.pem" intermediate)
    file(WRITE "${directory}/chained.pem" "${leaf}${intermediate}")
endfunction()

function(qolvi_run_openssl directory)
    find_program(OPENSSL_COMMAND openssl REQUIRED)
    foreach(command IN LISTS ARGN)
        separate_arguments(arguments UNIX_COMMAND "${command}")
        execute_process(COMMAND "${OPENSSL_COMMAND}" ${arguments}
                        WORKING_DIRECTORY "${directory}"
                        RESULT_VARIABLE result OUTPUT_QUIET ERROR_VARIABLE errors)
        if(NOT result EQUAL 0)
            message(FATAL_ERROR "openssl ${command} failed in ${directory}:\n${errors}")
        endif()
    endforeach()
endfunction()

# Sets `output` to the pin of a certificate's or a key's public key: the SHA-256 digest of its
# SubjectPublicKeyInfo in base64, as `sha256/<base64>=`. `kind` is CERTIFICATE or KEY.
function(qolvi_public_key_pin output kind file)
    find_program(OPENSSL_COMMAND openssl REQUIRED)
    if(kind STREQUAL "CERTIFICATE")
        set(public_key COMMAND "${OPENSSL_COMMAND}" x509 -in "${file}" -pubkey -noout
                       COMMAND "${OPENSSL_COMMAND}" pkey -pubin -outform der)
    else()
        set(public_key COMMAND "${OPENSSL_COMMAND}" pkey -in "${file}" -pubout -outform der)
    endif()
    execute_process(${public_key}
                    COMMAND "${OPENSSL_COMMAND}" dgst -sha256 -binary
                    COMMAND "${OPENSSL_COMMAND}" base64 -A
                    OUTPUT_VARIABLE digest RESULTS_VARIABLE results ERROR_VARIABLE errors)
    foreach(result IN LISTS results)
        if(NOT result EQUAL 0)
            message(FATAL_ERROR "openssl could not read the public key of ${file}:\n${errors}")
        endif()
    endforeach()
    string(STRIP "${digest}" digest)
    set(${output} "sha256/${digest}" PARENT_SCOPE)
endfunction()

# A key kept in reserve beside a local CA: pinned as its backup, never used to sign.
function(qolvi_make_backup_key directory)
    if(NOT EXISTS "${directory}/backup.key")
        qolvi_run_openssl("${directory}"
            "genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out backup.key")
    endif()
endfunction()
