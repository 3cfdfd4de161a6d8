-- Tables of the station's database. The build runs this file, then the
-- default rows, into a new vantoro.db beside the program.

create table sysset (
  id integer primary key,
  comport integer,
  ComSettings varchar(50),
  BeepFreq integer,
  hisdatakeephours integer,
  HisDataSamplePeriod integer,
  httpport integer,
  HttpServerEnabled integer,
  PauseSeconds real,
  retrytimes integer,
  Soundenabled integer,
  TimeOut real,
  Userfname varchar(100),
  MailAddr varchar(100),
  MailEnabled integer,
  MailServeraddr varchar(100),
  Mmfileurl varchar(255),
  mobilephone varchar(50),
  username varchar(50),
  userPass varchar(50),
  userpass2 varchar(50),
  usertelephone varchar(50),
  usesoundcard integer,
  viewmode varchar(10),
  AutoShutDown integer,
  DEVPOWER varchar(50) null,
  MailSender varchar(100) default '',
  MailUser varchar(100) default '',
  MailPassword varchar(100) default '',
  MailSecurity integer default 0,
  StandbyPercent real default 1
);

create table devices (
  id varchar(10) primary key,
  devname varchar(50),
  devaddr integer,
  DEVPOWER varchar(50) null,
  TOTALPOWER varchar(15) null,
  DEVCOMVERSION varchar(25) null
);

create table paraset (
  DEVID varchar(10),
  PARAID integer,
  PARACODE varchar(20),
  PARANAME varchar(50),
  ENABLED integer,
  PARAVALUE varchar(255),
  MULTIPLE real,
  UNIT varchar(20),
  RANGEL real,
  RANGEU real,
  BOUNDL real,
  BOUNDU real,
  ISSTRING integer,
  SRCSTRING varchar(100),
  OKSTRING varchar(100),
  FOUNDERROR integer,
  DEVPART integer,
  WARNINGENABLED integer,
  UPDATED integer,
  UPDATETIME varchar(19),
  MMFILEURL varchar(255),
  DATAFORMAT varchar(50)
);

create table eventlog (
  devid varchar(10),
  eventname varchar(255),
  logtime varchar(19),
  mailsent integer
);

create index ix_eventlog_logtime on eventlog(logtime);

-- History: samples keyed by their time (seconds since the epoch), one real
-- column per parameter slot; the slots' names when recorded; the daily yield.
create table histdata (
  t integer primary key,
  v0 real,
  v1 real,
  v2 real,
  v3 real,
  v4 real,
  v5 real,
  v6 real,
  v7 real,
  v8 real,
  v9 real,
  v10 real,
  v11 real,
  v12 real,
  v13 real,
  v14 real,
  v15 real,
  v16 real,
  v17 real,
  v18 real,
  v19 real,
  v20 real,
  v21 real,
  v22 real,
  v23 real,
  v24 real,
  v25 real,
  v26 real,
  v27 real,
  v28 real,
  v29 real
);

-- Per 10 minutes (b, the bucket's start): first and last sample time, the
-- number of samples and every slot's minimum and maximum, for long views.
create table histrollup (
  b integer primary key,
  t0 integer not null,
  t1 integer not null,
  c integer not null,
  n0 real,
  x0 real,
  n1 real,
  x1 real,
  n2 real,
  x2 real,
  n3 real,
  x3 real,
  n4 real,
  x4 real,
  n5 real,
  x5 real,
  n6 real,
  x6 real,
  n7 real,
  x7 real,
  n8 real,
  x8 real,
  n9 real,
  x9 real,
  n10 real,
  x10 real,
  n11 real,
  x11 real,
  n12 real,
  x12 real,
  n13 real,
  x13 real,
  n14 real,
  x14 real,
  n15 real,
  x15 real,
  n16 real,
  x16 real,
  n17 real,
  x17 real,
  n18 real,
  x18 real,
  n19 real,
  x19 real,
  n20 real,
  x20 real,
  n21 real,
  x21 real,
  n22 real,
  x22 real,
  n23 real,
  x23 real,
  n24 real,
  x24 real,
  n25 real,
  x25 real,
  n26 real,
  x26 real,
  n27 real,
  x27 real,
  n28 real,
  x28 real,
  n29 real,
  x29 real
);

create table histparam (
  paraid integer primary key,
  paracode text,
  paraname text,
  unit text
);

create table histyield (
  devid text not null,
  day text not null,
  energy real not null default 0,
  flagged integer not null default 0,
  peakpower real,
  peaktime integer,
  maxtmod real,
  linkseconds integer not null default 0,
  faults integer not null default 0,
  firstcounter real,
  lastcounter real,
  lastreply integer,
  primary key (devid, day)
) without rowid;
-- MQTT publishing, one row; a null column takes the station's default.
create table mqttset (id integer primary key, enabled integer, host varchar(255), port integer, tls integer, cafile varchar(255), username varchar(255), password varchar(255), clientid varchar(255), basetopic varchar(255), discovery integer, discoveryprefix varchar(255), manufacturer varchar(255));
insert into mqttset (id) values (1);
