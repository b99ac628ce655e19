#!/bin/sh
# Zandel's judge: prints the server variables of the request it received, one per line, so that Zandel can
# see which headers a proxy added on the way. Put it in the cgi-bin folder of a web server of your own,
# make it executable (chmod 755 envchk.cgi) and enter its URL on the access URL page of Zandel's settings.
printf 'Content-Type: text/plain\r\n\r\n'
env | grep -E '^(HTTP_|REMOTE_ADDR=|REMOTE_HOST=|REQUEST_METHOD=|SERVER_PROTOCOL=|REQUEST_URI=)' | sort
